#pragma once

#include "commandexchange.h"
#include "mscomm.h"
#include "plcengine.h"
#include "portsteps.h"
#include "pseudoterminal.h"
#include "steadytickclock.h"

#include <QString>
#include <memory>

// A simulated controller on a pseudo-terminal mapped to COM<port>, with the serial line
// opened on it the way the window opens it.
struct PlcRig final : ExchangeHost, PortChoiceSource {
    explicit PlcRig(plcsim::PlcOptions options = {}, int port = 1)
        : engine(terminal, std::move(options))
    {
        qputenv(qPrintable(QStringLiteral("VANTREL_COM%1").arg(port)),
                QByteArray::fromStdString(terminal.slavePath()));
        choices.portPosition = port - 1;
        engine.start();
    }

    QString timeOutText() const override { return timeOut; }
    void openPort_Click() override
    {
        if (const auto line = openPortSteps(comm, *this))
            openLines.append(*line);
    }
    PortChoices portChoices() const override { return choices; }

    QByteArray received() const { return QByteArray::fromStdString(engine.received()); }

    plcsim::PseudoTerminal terminal;
    plcsim::PlcEngine engine;
    MSComm comm;
    SteadyTickClock clock;
    CommandExchange exchange{comm, clock, *this};
    PortChoices choices{"9600", "None", "8", "1", 0};
    QString timeOut = QStringLiteral("2000");
    QStringList openLines;
};
