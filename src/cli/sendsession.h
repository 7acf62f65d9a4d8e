#pragma once

#include "commandexchange.h"
#include "exchangerecord.h"
#include "mscomm.h"
#include "sendoptions.h"
#include "steadytickclock.h"

#include <QString>

class CommandSource;

// The port and the exchange held for all commands of one run, with the window's part played
// by the command line: the timeout text, and an Open Port that opens once.
class SendSession final : private ExchangeHost
{
public:
    // Checks the timeout and the settings; throws Failure before anything is opened.
    explicit SendSession(const SendOptions &options);

    // Frames the command under --unit and checks that the line can carry it; throws Failure.
    QString prepare(const QString &command) const;

    // Sends every command, writing one line each as soon as its exchange ends. Returns 0 when
    // all got a good reply, 1 otherwise; a failure is thrown and ends the run where it happens.
    int run(CommandSource &commands);

private:
    QString timeOutText() const override { return options_.timeOut; }
    void openPort_Click() override;
    ExchangeRecord exchange(const QString &command);

    const SendOptions options_;
    MSComm MSComm1;
    SteadyTickClock tickClock;
    CommandExchange exchange_{MSComm1, tickClock, *this};
};
