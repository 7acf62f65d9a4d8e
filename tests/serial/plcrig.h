#pragma once

#include "commandexchange.h"
#include "mscomm.h"
#include "simulatedplc.h"
#include "steadytickclock.h"

#include <QString>

// A simulated controller on a pseudo-terminal mapped to COM<port>, and the serial line that
// opens COM<port> with `settings` before each command unless it is open.
struct PlcRig final : SimulatedPlc, ExchangeSetup {
    explicit PlcRig(plcsim::PlcOptions options = {}, int port = 1)
        : SimulatedPlc(std::move(options), port)
    {
        comm.setCommPort(static_cast<qint16>(port));
    }

    QString timeOutText() const override { return timeOut; }
    void makePortReady() override
    {
        if (comm.PortOpen())
            return;
        comm.setSettings(settings);
        comm.setPortOpen(true);
    }

    MSComm comm;
    SteadyTickClock clock;
    CommandExchange exchange{comm, clock, *this};
    QString settings = QStringLiteral("9600,N,8,1");
    QString timeOut = QStringLiteral("2000");
};
