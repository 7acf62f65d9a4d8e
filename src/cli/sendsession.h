#pragma once

#include "commandexchange.h"
#include "mscomm.h"
#include "replyreport.h"
#include "sendoptions.h"
#include "steadytickclock.h"

#include <QString>

class CommandSource;

// The port and the exchange held for all commands of one run: the timeout from the command
// line, and the port opened by the first command and kept open.
class SendSession final : private ExchangeSetup
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
    void makePortReady() override;

    const SendOptions options_;
    MSComm port_;
    SteadyTickClock clock_;
    CommandExchange exchange_{port_, clock_, *this};
};
