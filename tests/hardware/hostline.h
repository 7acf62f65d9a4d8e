#pragma once

#include "pseudoterminal.h"

#include <QSocketNotifier>
#include <QStringList>

#include <functional>
#include <unistd.h>

// The host's end of one of the guest's serial lines: a pseudo-terminal that QEMU wires to the
// emulated device, read in the test's event loop. It keeps what arrives and hands each line on
// to `heard` as it ends. A controller's line answers a lone ENQ with ENQ and a command (a line
// ended by CR) with "OK " and the command, unless told not to; the command "PULL" it never
// answers (the machine pulls the USB adapter out while the tool waits). A plain line, the
// console's, only hands on its lines, ended by LF.
struct HostLine {
    explicit HostLine(bool controller = true)
        : answerEnq(controller), answerCommands(controller), end(controller ? '\r' : '\n')
    {
        QObject::connect(&notifier, &QSocketNotifier::activated, [this] {
            char buffer[4096];
            const ssize_t count = ::read(terminal.masterFd(), buffer, sizeof buffer);
            for (const char byte : QByteArrayView(buffer, qMax<ssize_t>(count, 0))) {
                received += byte;
                if (byte == '\x05' && pending.isEmpty()) {
                    if (answerEnq)
                        write("\x05");
                } else if (byte != end) {
                    pending += byte;
                } else {
                    heard(pending);
                    if (answerCommands && pending != "PULL")
                        write("OK " + pending + '\r');
                    pending.clear();
                }
            }
        });
    }

    QString path() const { return QString::fromStdString(terminal.slavePath()); }
    // Commands and replies are far shorter than what the guest's side takes at once.
    void write(const QByteArray &bytes) const
    {
        if (::write(terminal.masterFd(), bytes.constData(), size_t(bytes.size())) != bytes.size())
            qWarning("the host's side of %s did not take %s", qPrintable(path()), bytes.constData());
    }

    bool answerEnq;
    bool answerCommands;
    QByteArray received;
    // Called with each line as it ends, before it is answered: the tool's port is open then.
    std::function<void(const QByteArray &line)> heard;
    // What the device was set to as the last command arrived.
    QStringList settings;

    const char end;
    QByteArray pending;
    plcsim::PseudoTerminal terminal;
    QSocketNotifier notifier{terminal.masterFd(), QSocketNotifier::Read};
};
