#pragma once

#include "exchangerecord.h"

#include <QString>
#include <functional>

class SerialLine;
class TickClock;

// What the operator is told when a command got no reply.
inline const QString kNoResponseWarning = QStringLiteral("(Warning: No Response from PLC)");

// What an exchange takes from the front end that runs it: the timeout text as it stands now
// (read afresh by each wait), and a port made ready for the command (the window: Open Port).
class ExchangeSetup
{
public:
    virtual ~ExchangeSetup() = default;
    virtual QString timeOutText() const = 0;
    virtual void makePortReady() = 0;
};

// The exchange's memory between commands.
struct ExchangeState {
    // The reply of the most recent exchange without its CR; empty after a timeout.
    QString lastResponse;
    // Input that has not yet formed a complete reply; kept across commands and reopens.
    QString receiveBuffer;
};

// One command out, one reply back: ENQ handshake unless the command starts with "@", then the
// command and CR, then input gathered until it ends with CR or the timeout passes.
class CommandExchange
{
public:
    CommandExchange(SerialLine &line, const TickClock &clock, ExchangeSetup &setup);

    // The exchange and how it went. Throws Failure for a timeout text or a command that cannot
    // be used (before the port is touched), and for the port.
    ExchangeRecord run(const QString &command);

    // run()'s reply without its CR, or an empty string when none came in time.
    QString sendCommand(const QString &command);

    // Off for controllers that never answer ENQ: every command then goes out at once. The
    // window always shakes hands.
    void setEnqHandshake(bool on) { enqHandshake_ = on; }

    const ExchangeState &state() const { return state_; }

private:
    bool waitForEnq(ExchangeRecord &record);
    void readResponse(ExchangeRecord &record);
    // Takes input until `take` accepts a read or the timeout passes; true when accepted.
    bool pollUntil(qint64 timeout, const std::function<bool(const QString &)> &take);
    qint32 readTimeout() const;

    SerialLine &line_;
    const TickClock &clock_;
    ExchangeSetup &setup_;
    ExchangeState state_;
    bool enqHandshake_ = true;
};
