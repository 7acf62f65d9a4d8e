#include "standardoutput.h"

#include "failure.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

void writeOut(const QByteArray &bytes)
{
    if (std::fwrite(bytes.constData(), 1, bytes.size(), stdout) != size_t(bytes.size()) ||
        std::fflush(stdout) != 0)
        throw Failure(QStringLiteral("Standard output cannot be written (%1); nothing more is "
                                     "done.")
                          .arg(QString::fromLocal8Bit(std::strerror(errno))));
}
