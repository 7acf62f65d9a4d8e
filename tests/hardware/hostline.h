#pragma once

#include "pseudoterminal.h"

#include <QSocketNotifier>

#include <functional>

// The host's end of one of the guest's serial lines: a pseudo-terminal that QEMU wires to the
// emulated device, read in the test's event loop.
class HostLine
{
public:
    explicit HostLine(std::function<void(const QByteArray &)> received);
    QString path() const { return QString::fromStdString(terminal_.slavePath()); }
    void write(const QByteArray &bytes) const;

private:
    plcsim::PseudoTerminal terminal_;
    QSocketNotifier notifier_;
};
