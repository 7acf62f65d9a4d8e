#include "hostline.h"

#include <unistd.h>

HostLine::HostLine(std::function<void(const QByteArray &)> received)
    : notifier_(terminal_.masterFd(), QSocketNotifier::Read)
{
    QObject::connect(&notifier_, &QSocketNotifier::activated, [this, received] {
        char buffer[4096];
        const ssize_t count = ::read(terminal_.masterFd(), buffer, sizeof buffer);
        if (count > 0)
            received(QByteArray(buffer, count));
    });
}

void HostLine::write(const QByteArray &bytes) const
{
    // The guest's side takes a few kilobytes at once; commands and replies are far shorter.
    if (::write(terminal_.masterFd(), bytes.constData(), size_t(bytes.size())) != bytes.size())
        qWarning("the guest did not take %s at once", bytes.constData());
}
