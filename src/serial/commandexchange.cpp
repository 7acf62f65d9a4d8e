#include "commandexchange.h"

#include "framing.h"
#include "latin1.h"
#include "serialline.h"
#include "tickclock.h"
#include "timeouttext.h"

#include <utility>

namespace
{

const QChar kEnq(5);
const QChar kCr(13);
constexpr qint64 kDefaultHandshakeMsecs = 1000;
constexpr qint64 kDefaultReplyMsecs = 500;

// Counts what came, and keeps the first of it to be shown.
void note(ExchangeRecord &record, const QString &input)
{
    record.receivedCount += input.size();
    if (record.received.size() < ExchangeRecord::kReceivedKept)
        record.received += input.left(ExchangeRecord::kReceivedKept - record.received.size());
}

} // namespace

CommandExchange::CommandExchange(SerialLine &line, const TickClock &clock, ExchangeSetup &setup)
    : line_(line), clock_(clock), setup_(setup)
{
}

qint32 CommandExchange::readTimeout() const
{
    return parseTimeout(setup_.timeOutText());
}

QString CommandExchange::sendCommand(const QString &command)
{
    run(command);
    return state_.lastResponse;
}

ExchangeRecord CommandExchange::run(const QString &command)
{
    // Both checks come before the port is touched, so a bad timeout or command sends nothing.
    readTimeout();
    toWireBytes(command, QStringLiteral("The command"));

    setup_.makePortReady();
    ExchangeRecord record;
    record.command = command;
    record.port = line_.portDescription();
    record.settings = line_.Settings();
    record.started = clock_.wallClock();
    const qint64 start = clock_.ticks();
    bool answered = true;
    if (enqHandshake_ && !command.startsWith(QLatin1Char('@'))) {
        line_.setOutput(QString(kEnq));
        answered = waitForEnq(record);
    }
    if (answered) {
        line_.setOutput(command + kCr);
        readResponse(record);
    } else {
        state_.lastResponse.clear();
        record.outcome = ExchangeRecord::Outcome::HandshakeUnanswered;
    }
    record.elapsedMs = clock_.ticks() - start;
    record.inputDropped = line_.takeDroppedInput();
    return record;
}

bool CommandExchange::waitForEnq(ExchangeRecord &record)
{
    const qint32 timeout = readTimeout();
    record.waitedMs = timeout < 1 ? kDefaultHandshakeMsecs : timeout;
    // Only a read that holds the ENQ alone counts; anything else is dropped.
    return pollUntil(record.waitedMs, [&record](const QString &input) {
        if (input == kEnq)
            return true;
        note(record, input);
        return false;
    });
}

void CommandExchange::readResponse(ExchangeRecord &record)
{
    const qint32 timeout = readTimeout();
    record.waitedMs = timeout < 1 ? kDefaultReplyMsecs : timeout;
    record.received.clear();
    record.receivedCount = 0;
    const bool complete = pollUntil(record.waitedMs, [this, &record](const QString &input) {
        if (input.isEmpty())
            return false;
        note(record, input);
        state_.receiveBuffer += input;
        // Only the last character ends a reply: earlier CRs belong to it.
        if (!state_.receiveBuffer.endsWith(kCr))
            return false;
        // Moved, not copied: a reply may be megabytes long.
        state_.lastResponse = std::exchange(state_.receiveBuffer, QString());
        state_.lastResponse.chop(1);
        return true;
    });
    if (!complete) {
        state_.lastResponse.clear();
        record.outcome = record.receivedCount > 0 ? ExchangeRecord::Outcome::NoClosingCr
                                                  : ExchangeRecord::Outcome::Silent;
        return;
    }
    record.outcome = ExchangeRecord::Outcome::Reply;
    record.reply = state_.lastResponse;
    if (record.command.startsWith(QLatin1Char('@')) && record.reply->startsWith(QLatin1Char('@')))
        record.frameCheckHolds = frameCheckHolds(*record.reply);
}

bool CommandExchange::pollUntil(qint64 timeout, const std::function<bool(const QString &)> &take)
{
    const qint64 deadline = clock_.ticks() + timeout;
    for (;;) {
        if (take(line_.Input()))
            return true;
        const qint64 now = clock_.ticks();
        if (now >= deadline)
            return false;
        // Arriving input never moves the deadline.
        line_.waitForInput(deadline - now);
    }
}
