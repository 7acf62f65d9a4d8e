// sendCommand over a line whose reads come in random pieces and whose waits move a fake clock
// by random steps, against a model of the exchange's rules: reply, lastResponse,
// receiveBuffer, bytes sent and the clock when it returns, over up to three
// commands of Latin-1 text, each with or without the ENQ handshake, under timeouts from -128
// to 127 ms (refusals are for the unit tests); and the exchange's record against the line and
// the clock.
#include "fakeline.h"
#include "fuzzinput.h"

static const QChar kEnq(5), kCr(13);

// A line whose reads and waits its script draws from the input: each read is up to five
// characters (as FuzzInput::text reads them), mostly ENQ, CR and LF so that handshakes and reply
// ends are common; each wait moves the clock by a step. Once the script runs out nothing arrives
// and a wait lasts as asked.
struct ScriptedLine final : SerialLine {
    void setOutput(const QString &text) override { written += text; }
    QString Input() override
    {
        QString s = script.text(script.byte() % 6);
        for (QChar &c : s)
            c = c.unicode() < 0xC0 ? QChar(u"\x05\r\n"[c.unicode() % 3]) : c;
        return s;
    }
    void waitForInput(qint64 msecs) override
    {
        clock.now += script.atEnd() ? std::max(msecs, 1ll) : script.byte();
    }
    QString portDescription() const override { return u"COM1 (/dev/ttyS0)"_qs; }
    QString Settings() const override { return u"9600,N,8,1"_qs; }
    qint64 takeDroppedInput() override { return 0; }
    FuzzInput script;
    FakeClock clock;
    QString written;
};

// The rules on a line of its own: a phase reads, then ends when the read is accepted or the
// clock is at or past its start + timeout, else waits; input never moves the deadline. A
// timeout below 1 means 1000 ms for the handshake, 500 ms for the reply.
static QString modelSend(ScriptedLine &line, ExchangeState &state, const QString &command,
                         qint32 timeout, bool handshake)
{
    const auto phase = [&](qint64 fallback, auto accept) {
        const qint64 deadline = line.clock.now + (timeout < 1 ? fallback : timeout);
        for (; !accept(line.Input()); line.waitForInput(deadline - line.clock.now))
            if (line.clock.now >= deadline)
                return false;
        return true;
    };
    if (handshake && !command.startsWith(u'@')) {
        line.setOutput(kEnq);
        // Only a read holding a lone ENQ answers the handshake.
        if (!phase(1000, [](const QString &s) { return s == kEnq; }))
            return state.lastResponse = QString();
    }
    line.setOutput(command + kCr);
    // The reply is all input gathered until it ends in CR; what is left waits for the next.
    const bool replied =
        phase(500, [&](const QString &s) { return (state.receiveBuffer += s).endsWith(kCr); });
    return state.lastResponse =
               replied ? std::exchange(state.receiveBuffer, {}).chopped(1) : QString();
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzInput in{data, size};
    ScriptedLine line;
    FakeSetup setup;
    CommandExchange exchange(line, line.clock, setup);
    ScriptedLine modelLine;
    ExchangeState modelState;
    // What is compared after each command.
    auto seen = [](const QString &reply, const ExchangeState &state, const ScriptedLine &line) {
        return QStringList{reply, state.lastResponse, state.receiveBuffer, line.written,
                           QString::number(line.clock.now)};
    };
    for (int commands = 1 + in.byte() % 3; commands > 0; --commands) {
        const qint8 timeout = qint8(in.byte());
        const uint8_t shape = in.byte();
        const QString command =
            (shape & 8 ? u"@"_qs : QString()) + QString::fromLatin1(in.text(shape & 7).toLatin1());
        exchange.setEnqHandshake(!(shape & 16));
        setup.timeOut = QString::number(timeout) + u' ';
        // The rest of the input is this command's script; what it leaves goes to the next.
        line.script = modelLine.script = in;
        const qint64 start = line.clock.now;
        const ExchangeRecord record = exchange.run(command);
        const QString expected = modelSend(modelLine, modelState, command, timeout, !(shape & 16));
        in = modelLine.script;
        const QString reply = record.reply.value_or(QString());
        expectSame(seen(reply, exchange.state(), line), seen(expected, modelState, modelLine),
                   "the exchange follows its rules");
        // The record agrees with the line and the clock.
        using Outcome = ExchangeRecord::Outcome;
        const bool sent = line.written.endsWith(command + kCr);
        expectSame(sent, record.outcome != Outcome::HandshakeUnanswered,
                   "the command goes out exactly when the handshake is answered");
        expectSame(record.reply.has_value(), record.outcome == Outcome::Reply,
                   "a reply exactly for the outcome Reply");
        expectSame(record.outcome == Outcome::Silent,
                   sent && !record.reply && !record.receivedCount,
                   "silent exactly when nothing came after the command");
        expectSame(record.elapsedMs, line.clock.now - start, "the time taken is the clock's");
        expectSame(record.received.size(),
                   std::min<qsizetype>(record.receivedCount, ExchangeRecord::kReceivedKept),
                   "the first of what came is kept, the rest counted");
    }
    return 0;
}
