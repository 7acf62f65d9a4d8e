#pragma once

#include "commandexchange.h"
#include "mscomm.h"
#include "portsteps.h"
#include "simulatedplc.h"
#include "steadytickclock.h"

#include <QString>

// A simulated controller on a pseudo-terminal mapped to COM<port>, with the serial line
// opened on it the way the window opens it.
struct PlcRig final : SimulatedPlc, ExchangeHost, PortChoiceSource {
    explicit PlcRig(plcsim::PlcOptions options = {}, int port = 1)
        : SimulatedPlc(std::move(options), port)
    {
        choices.portPosition = port - 1;
    }

    QString timeOutText() const override { return timeOut; }
    void openPort_Click() override { openPortSteps(comm, *this); }
    PortChoices portChoices() const override { return choices; }

    MSComm comm;
    SteadyTickClock clock;
    CommandExchange exchange{comm, clock, *this};
    PortChoices choices{"9600", "None", "8", "1", 0};
    QString timeOut = QStringLiteral("2000");
};
