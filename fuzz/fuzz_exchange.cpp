// sendCommand over a line whose reads come in random pieces and whose waits move a fake clock
// by random steps, against a model of the exchange's rules: reply, lastResponse,
// receiveBuffer, bytes sent and the clock when it returns, over up to three commands, each
// with or without the ENQ handshake.
#include "commandexchange.h"
#include "fakeline.h"
#include "fuzzinput.h"

#include <QList>

#include <algorithm>

namespace
{

const QChar kEnq(5), kCr(13);

// What arrives and how long waits take: each read takes the next piece, each wait moves the
// clock by the next step; once the steps run out a wait lasts as long as it was asked to.
struct Script {
    QList<QString> pieces;
    QList<qint64> steps;
};

class ScriptedLine final : public SerialLine
{
public:
    ScriptedLine(FakeClock &clock, Script script) : clock_(clock), script_(std::move(script)) {}
    void setOutput(const QString &text) override { written += text; }
    QString Input() override
    {
        expect(++reads_ < 100000, "the exchange ends", [&] { return QString(); });
        return script_.pieces.isEmpty() ? QString() : script_.pieces.takeFirst();
    }
    void waitForInput(qint64 msecs) override
    {
        clock_.now +=
            script_.steps.isEmpty() ? std::max<qint64>(msecs, 1) : script_.steps.takeFirst();
    }
    QString written;

private:
    FakeClock &clock_;
    Script script_;
    int reads_ = 0;
};

// The rules: a phase polls, checks, then waits; it ends when a read is accepted, or when the
// clock read after a poll is at or past start + timeout. Input never moves the deadline.
struct Model {
    Script script;
    qint64 now = 0;
    QString sent, lastResponse, receiveBuffer;
    int opens = 0;

    template <typename Accept> bool phase(qint64 timeout, Accept accept)
    {
        const qint64 deadline = now + timeout;
        for (;;) {
            if (accept(script.pieces.isEmpty() ? QString() : script.pieces.takeFirst()))
                return true;
            if (now >= deadline)
                return false;
            now += script.steps.isEmpty() ? deadline - now : script.steps.takeFirst();
        }
    }

    QString sendCommand(const QString &command, qint32 timeout, bool handshake)
    {
        ++opens;
        if (handshake && !command.startsWith(u'@')) {
            sent += kEnq;
            // The handshake wants a read holding a lone ENQ; 1000 ms when the timeout is below 1.
            if (!phase(timeout < 1 ? 1000 : timeout, [](const QString &s) { return s == kEnq; }))
                return lastResponse = QString();
        }
        sent += command + kCr;
        // The reply is all input gathered up to a read whose last character is CR; 500 ms.
        const bool complete = phase(timeout < 1 ? 500 : timeout, [this](const QString &s) {
            receiveBuffer += s;
            if (s.isEmpty() || !receiveBuffer.endsWith(kCr))
                return false;
            lastResponse = receiveBuffer.chopped(1);
            receiveBuffer.clear();
            return true;
        });
        return complete ? lastResponse : lastResponse = QString();
    }
};

// Pieces drawn mostly from ENQ, CR and LF so that handshakes and reply ends are common.
QString piece(FuzzInput &in)
{
    QString s;
    for (int n = in.byte() % 6; n > 0; --n) {
        const uint8_t b = in.byte();
        s += (b & 3) == 0   ? kEnq
             : (b & 3) == 1 ? kCr
             : (b & 3) == 2 ? QChar(10)
                            : QChar(b >> 2 | 0x40);
    }
    return s;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzInput in(data, size);
    struct Command {
        qint8 timeout;
        bool handshake;
        QString text;
    };
    QList<Command> commands(1 + in.byte() % 3);
    for (Command &c : commands) {
        c.timeout = qint8(in.byte());
        const uint8_t shape = in.byte();
        c.handshake = !(shape & 16);
        c.text = (shape & 8 ? u"@"_qs : QString()) + in.text(shape & 7);
    }
    Script script;
    while (!in.atEnd()) {
        script.steps.append(in.byte());
        script.pieces.append(piece(in));
    }

    FakeClock clock;
    ScriptedLine line(clock, script);
    FakeHost host;
    CommandExchange exchange(line, clock, host);
    Model model;
    model.script = script;
    for (const Command &c : commands) {
        // -128 stands for a timeout text that is no number.
        host.timeOut = c.timeout == -128 ? u"abc"_qs : QString::number(c.timeout) + u' ';
        const bool refused =
            c.timeout == -128 ||
            std::any_of(c.text.begin(), c.text.end(), [](QChar ch) { return ch.unicode() > 0xFF; });
        exchange.setEnqHandshake(c.handshake);
        const std::optional<QString> sent = outcome([&] { return exchange.sendCommand(c.text); });
        expect(!sent == refused, "only a bad timeout or command is refused",
               [&] { return quoted(c.text); });
        // A refusal sends nothing and changes nothing.
        const QString reply = sent.value_or(QString());
        const QString expected =
            refused ? QString() : model.sendCommand(c.text, c.timeout, c.handshake);
        const ExchangeState &state = exchange.state();
        expect(reply == expected && state.lastResponse == model.lastResponse &&
                   state.receiveBuffer == model.receiveBuffer && line.written == model.sent &&
                   clock.now == model.now && host.opens == model.opens,
               "the exchange follows its rules", [&] {
                   return QStringLiteral(
                              "command %1 timeout %2: reply %3/%4, last %5/%6, buffer %7/%8, "
                              "sent %9/%10, ended at %11/%12, opens %13/%14 (got/expected)")
                       .arg(quoted(c.text))
                       .arg(int(c.timeout))
                       .arg(quoted(reply), quoted(expected), quoted(state.lastResponse),
                            quoted(model.lastResponse), quoted(state.receiveBuffer),
                            quoted(model.receiveBuffer), quoted(line.written), quoted(model.sent))
                       .arg(clock.now)
                       .arg(model.now)
                       .arg(host.opens)
                       .arg(model.opens);
               });
    }
    return 0;
}
