#pragma once

#include "pseudoterminal.h"

#include <QSocketNotifier>

#include <functional>
#include <unistd.h>

// The host's end of one of the guest's serial lines: a pseudo-terminal that QEMU wires to the
// emulated device, read in the test's event loop.
class HostLine
{
public:
    explicit HostLine(std::function<void(const QByteArray &)> received)
    {
        QObject::connect(&notifier_, &QSocketNotifier::activated, [this, received] {
            char buffer[4096];
            const ssize_t count = ::read(terminal_.masterFd(), buffer, sizeof buffer);
            if (count > 0)
                received(QByteArray(buffer, count));
        });
    }

    QString path() const { return QString::fromStdString(terminal_.slavePath()); }

    // Commands and replies are far shorter than what the guest's side takes at once.
    void write(const QByteArray &bytes) const
    {
        static_cast<void>(::write(terminal_.masterFd(), bytes.constData(), size_t(bytes.size())));
    }

private:
    plcsim::PseudoTerminal terminal_;
    QSocketNotifier notifier_{terminal_.masterFd(), QSocketNotifier::Read};
};
