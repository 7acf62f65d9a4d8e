#pragma once

#include "plcengine.h"
#include "pseudoterminal.h"

#include <QByteArray>
#include <QString>

// A simulated controller serving a pseudo-terminal that COM<port> is mapped to, the way an
// operator maps a USB adapter.
struct SimulatedPlc {
    explicit SimulatedPlc(plcsim::PlcOptions options = {}, int port = 1)
        : engine(terminal, std::move(options))
    {
        qputenv(qPrintable(QStringLiteral("VANTREL_COM%1").arg(port)),
                QByteArray::fromStdString(terminal.slavePath()));
        engine.start();
    }

    // What the controller has received: every byte of a test's exchange (the engine keeps the last
    // 64 KiB).
    QByteArray received() const { return QByteArray::fromStdString(engine.received()); }

    plcsim::PseudoTerminal terminal;
    plcsim::PlcEngine engine;
};
