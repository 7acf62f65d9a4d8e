// sendCommand over a line whose reads come in random pieces and whose waits move a fake clock
// by random steps, against a model of the exchange's rules: reply, lastResponse,
// receiveBuffer, bytes sent, Open Port calls and the clock when it returns, over up to three
// commands, each with or without the ENQ handshake.
#include "fakeline.h"
#include "fuzzinput.h"

#include <QList>

#include <utility>

namespace
{

const QChar kEnq(5), kCr(13);

// What arrives and how long waits take, drawn from the input: each read is the next piece, each
// wait the next step; once the input runs out nothing arrives and a wait lasts as long as asked.
struct Script : FuzzInput {
    // Up to five characters, mostly ENQ, CR and LF so that handshakes and reply ends are common.
    QString read()
    {
        QString s;
        for (int n = byte() % 6; n > 0; --n) {
            const uint8_t b = byte();
            s += b < 0xC0 ? QChar(u"\x05\r\n"[b % 3]) : QChar(b);
        }
        return s;
    }
    qint64 step(qint64 asked) { return atEnd() ? asked : byte(); }
};

// A line that reads and waits as its script says, on a clock of its own.
class ScriptedLine final : public SerialLine
{
public:
    void setOutput(const QString &text) override { written += text; }
    QString Input() override { return script.read(); }
    void waitForInput(qint64 msecs) override { clock.now += script.step(std::max(msecs, 1ll)); }
    FakeClock clock;
    Script script;
    QString written;
};

// The rules: a phase reads, then stops when the read is accepted or the clock is at or past
// its start + timeout, else waits; input never moves the deadline. A timeout below 1 means
// 1000 ms for the handshake, 500 ms for the reply.
struct Model {
    Script script;
    qint64 now = 0;
    QString sent, lastResponse, receiveBuffer;
    int opens = 0;

    template <typename Accept> bool phase(qint64 timeout, Accept accept)
    {
        const qint64 deadline = now + timeout;
        while (!accept(script.read())) {
            if (now >= deadline)
                return false;
            now += script.step(deadline - now);
        }
        return true;
    }

    QString sendCommand(const QString &command, qint32 timeout, bool handshake)
    {
        ++opens;
        if (handshake && !command.startsWith(u'@')) {
            sent += kEnq;
            // Only a read holding a lone ENQ answers the handshake.
            if (!phase(timeout < 1 ? 1000 : timeout, [](const QString &s) { return s == kEnq; }))
                return lastResponse = QString();
        }
        sent += command + kCr;
        // The reply is all input gathered until it ends in CR; what is left waits for the next.
        const bool replied = phase(timeout < 1 ? 500 : timeout, [this](const QString &s) {
            receiveBuffer += s;
            return receiveBuffer.endsWith(kCr);
        });
        return lastResponse = replied ? std::exchange(receiveBuffer, {}).chopped(1) : QString();
    }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzInput in{data, size};
    ScriptedLine line;
    FakeHost host;
    CommandExchange exchange(line, line.clock, host);
    Model model;
    for (int commands = 1 + in.byte() % 3; commands > 0; --commands) {
        const qint8 timeout = qint8(in.byte());
        const uint8_t shape = in.byte();
        const QString command = (shape & 8 ? u"@"_qs : QString()) + in.text(shape & 7);
        exchange.setEnqHandshake(!(shape & 16));
        // -128 stands for a timeout text that is no number. A refusal changes nothing.
        host.timeOut = timeout == -128 ? u"abc"_qs : QString::number(timeout) + u' ';
        const bool refused = timeout == -128 || QString::fromLatin1(command.toLatin1()) != command;
        // The rest of the input is this command's script; what it leaves goes to the next.
        line.script = model.script = Script{in};
        const auto reply = outcome([&] { return exchange.sendCommand(command); });
        const auto expected =
            refused ? std::nullopt
                    : std::optional(model.sendCommand(command, timeout, !(shape & 16)));
        in = model.script;
        const ExchangeState &state = exchange.state();
        expectSame(QStringList{shown(reply), state.lastResponse, state.receiveBuffer, line.written,
                               QString::number(line.clock.now), QString::number(host.opens)},
                   QStringList{shown(expected), model.lastResponse, model.receiveBuffer, model.sent,
                               QString::number(model.now), QString::number(model.opens)},
                   "the exchange follows its rules",
                   QStringList{command, QString::number(timeout)});
    }
    return 0;
}
