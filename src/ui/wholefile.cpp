#include "wholefile.h"

#include "failure.h"

#include <QFileInfo>
#include <QSaveFile>

void writeWholeFile(const QString &path, const QByteArray &bytes, const QString &what)
{
    // QFileInfo, like QSaveFile, follows symbolic links to what they name.
    const QFileInfo target(path);
    if (target.exists() && !target.isFile())
        throw Failure(QStringLiteral("%1 was not saved: %2 is not a regular file, and only a "
                                     "file can hold it.")
                          .arg(what, path));
    QSaveFile file(path);
    // Unbuffered, every write meets the disk at once: a buffered write that found the disk full
    // was reported as "Unknown error", or not at all, after the last bytes were lost.
    bool written = file.open(QIODevice::WriteOnly | QIODevice::Unbuffered);
    for (qint64 done = 0; written && done < bytes.size();) {
        const qint64 now = file.write(bytes.constData() + done, bytes.size() - done);
        written = now > 0;
        done += now;
    }
    if (!written || !file.commit())
        throw Failure(QStringLiteral("%1 could not be saved to %2: %3.")
                          .arg(what, path,
                               file.error() == QFileDevice::ResourceError
                                   ? QStringLiteral("no space left on the device")
                                   : file.errorString()));
}
