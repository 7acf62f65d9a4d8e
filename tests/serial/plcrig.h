#pragma once

#include "commandexchange.h"
#include "mscomm.h"
#include "simulatedplc.h"
#include "steadytickclock.h"

#include <QString>

// A simulated controller on a pseudo-terminal mapped to COM<port>, and the serial line that
// opens COM<port> before each command unless it is open.
struct PlcRig final : SimulatedPlc, ExchangeSetup {
    explicit PlcRig(plcsim::PlcOptions options = {}, int port = 1)
        : SimulatedPlc(std::move(options), port)
    {
        comm.setCommPort(static_cast<qint16>(port));
    }

    QString timeOutText() const override { return timeOut; }
    void makePortReady() override { comm.setPortOpen(true); }

    MSComm comm;
    SteadyTickClock clock;
    CommandExchange exchange{comm, clock, *this};
    QString timeOut = QStringLiteral("2000");
};
