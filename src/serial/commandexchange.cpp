#include "commandexchange.h"

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

} // namespace

CommandExchange::CommandExchange(SerialLine &line, const TickClock &clock, ExchangeHost &host)
    : line_(line), clock_(clock), host_(host)
{
}

qint32 CommandExchange::readTimeout() const
{
    return parseTimeout(host_.timeOutText());
}

QString CommandExchange::sendCommand(const QString &command)
{
    // Both checks come before the port is touched, so a bad timeout or command sends nothing.
    readTimeout();
    toWireBytes(command, QStringLiteral("The command"));

    host_.openPort_Click();
    if (enqHandshake_ && !command.startsWith(QLatin1Char('@'))) {
        line_.setOutput(QString(kEnq));
        if (!waitForEnq()) {
            state_.lastResponse.clear();
            return QString();
        }
    }
    line_.setOutput(command + kCr);
    readResponse();
    return state_.lastResponse;
}

bool CommandExchange::waitForEnq()
{
    const qint32 timeout = readTimeout();
    // Only a read that holds the ENQ alone counts; anything else is dropped.
    return pollUntil(timeout < 1 ? kDefaultHandshakeMsecs : timeout,
                     [](const QString &input) { return input == kEnq; });
}

void CommandExchange::readResponse()
{
    const qint32 timeout = readTimeout();
    const bool complete =
        pollUntil(timeout < 1 ? kDefaultReplyMsecs : timeout, [this](const QString &input) {
            if (input.isEmpty())
                return false;
            state_.receiveBuffer += input;
            // Only the last character ends a reply: earlier CRs belong to it.
            if (!state_.receiveBuffer.endsWith(kCr))
                return false;
            // Moved, not copied: a reply may be megabytes long.
            state_.lastResponse = std::exchange(state_.receiveBuffer, QString());
            state_.lastResponse.chop(1);
            return true;
        });
    if (!complete)
        state_.lastResponse.clear();
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
