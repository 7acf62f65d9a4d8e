#include "failuretext.h"
#include "fakeline.h"

#include <QTest>

namespace
{
const QString ENQ(QChar(5)), CR(QChar(13));
using Outcome = ExchangeRecord::Outcome;

// One exchange: the timeout text, the command, input and when it arrives; then what went out,
// the reply, how long it took, how it ended, what came during the wait that ended it (and how
// many bytes, when more came than is kept), whether a framed reply's FCS holds, and part of the
// message when the command is refused.
struct Case {
    QString timeOut{};
    QString command{};
    QList<QPair<qint64, QString>> arrivals{};
    QString wire{};
    QString reply{};
    qint64 elapsed = 0;
    Outcome outcome = Outcome::Reply;
    QString received{};
    std::optional<bool> fcs{};
    qint64 count = -1;
    QString failure{};
};
} // namespace

// Every exchange runs on a fake clock, so deadlines are checked to the millisecond. The
// exchange's rules over random input (the command as typed, "@" only at the start, only a lone
// ENQ, only a last CR ends a reply) are proven by fuzz/fuzz_exchange; these rows pin the
// boundaries, the defaults, the record and the limits.
class TestCommandExchange : public QObject
{
    Q_OBJECT
private slots:
    void exchange_data();
    void exchange();
};

void TestCommandExchange::exchange_data()
{
    QTest::addColumn<Case>("c");
    const auto row = [](const char *name, const Case &c) { QTest::newRow(name) << c; };
    // clang-format off
    row("a blank before @: a handshake, the command as typed", {"500", " @a", {{0, ENQ}, {10, "OK" + CR}}, ENQ + " @a" + CR, "OK", 10, Outcome::Reply, "OK" + CR});
    row("framed reply, FCS holds", {"500", "@00RD56*", {{3, "@00OKRD52*" + CR}}, "@00RD56*" + CR, "@00OKRD52*", 3, Outcome::Reply, "@00OKRD52*" + CR, true});
    row("framed reply, FCS fails", {"500", "@00RD56*", {{3, "@00OKRD53*" + CR}}, "@00RD56*" + CR, "@00OKRD53*", 3, Outcome::Reply, "@00OKRD53*" + CR, false});
    row("late ENQ then silence: both waits add up", {"900", "RD", {{899, ENQ}}, ENQ + "RD" + CR, "", 1799, Outcome::Silent});
    row("ENQ at the deadline still counts", {"900", "RD", {{900, ENQ}, {901, "Z" + CR}}, ENQ + "RD" + CR, "Z", 901, Outcome::Reply, "Z" + CR});
    row("two ENQs: handshake unanswered, what came shown", {"300", "RD", {{1, ENQ + ENQ}}, ENQ, "", 300, Outcome::HandshakeUnanswered, ENQ + ENQ});
    row("arriving input does not move the deadline", {"250", "@r", {{100, "O"}, {200, "K"}, {300, CR}}, "@r" + CR, "", 250, Outcome::NoClosingCr, "OK"});
    row("the first 256 bytes kept, all counted", {"500", "@r", {{4, QString(200, 'a')}, {5, QString(100, 'b')}}, "@r" + CR, "", 500, Outcome::NoClosingCr, QString(200, 'a') + QString(56, 'b'), {}, 300});
    row("timeout 0: handshake 1000 ms", {"0", "RD", {}, ENQ, "", 1000, Outcome::HandshakeUnanswered});
    row("timeout -5: reply 500 ms", {"-5", "@r", {}, "@r" + CR, "", 500, Outcome::Silent});
    row("timeout 0.5 rounds to even 0", {" 0.5 ", "@r", {}, "@r" + CR, "", 500, Outcome::Silent});
    row("a reply of 8 MiB is taken", {"500", "@r", {{3, QString(8 << 20, 'x') + CR}}, "@r" + CR, QString(8 << 20, 'x'), 3, Outcome::Reply, QString(256, 'x'), {}, (8 << 20) + 1});
    row("more than 8 MiB without a CR: refused, dropped", {.timeOut = "500", .command = "@r", .arrivals = {{3, QString(8 << 20, 'x')}, {4, "y"}}, .wire = "@r" + CR, .elapsed = 4, .failure = "sent more than 8 MiB without a CR"});
    row("line feed after the timeout: refused", {.timeOut = "500\n", .command = "RD", .failure = "is not a number"});
    // clang-format on
}

void TestCommandExchange::exchange()
{
    QFETCH(Case, c);
    FakeLine line;
    for (const auto &[at, text] : c.arrivals)
        line.arriveAt(at, text);
    line.timeOut = c.timeOut;
    CommandExchange exchange(line, line, line);

    ExchangeRecord record;
    const QString message = failureText([&] { record = exchange.run(c.command); });
    QVERIFY2(c.failure.isEmpty() ? message.isNull() : message.contains(c.failure),
             qPrintable(message));
    QCOMPARE(exchange.state().lastResponse, c.reply);
    QCOMPARE(line.written, c.wire);
    QCOMPARE(line.now, c.elapsed);
    // A refused timeout is found before the port is opened; a failure drops what was held.
    QCOMPARE(line.opens, c.wire.isEmpty() ? 0 : 1);
    QVERIFY(c.failure.isEmpty() || exchange.state().receiveBuffer.isEmpty());
    if (!c.failure.isEmpty())
        return;
    QCOMPARE(record.reply, c.outcome == Outcome::Reply ? std::optional(c.reply) : std::nullopt);
    QCOMPARE(record.outcome, c.outcome);
    QCOMPARE(record.received, c.received);
    QCOMPARE(record.receivedCount, c.count < 0 ? c.received.size() : c.count);
    QCOMPARE(record.frameCheckHolds, c.fcs);
    QCOMPARE(record.elapsedMs, c.elapsed);
    QCOMPARE(record.started, line.wall);
    QCOMPARE(QStringList({record.command, record.port, record.settings}),
             QStringList({c.command, "COM1 (/dev/ttyS0)", "9600,N,8,1"}));
}

QTEST_GUILESS_MAIN(TestCommandExchange)
#include "tst_commandexchange.moc"
