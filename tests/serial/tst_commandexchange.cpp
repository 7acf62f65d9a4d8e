#include "failuretext.h"
#include "fakeline.h"

#include <QTest>

namespace
{
const QString ENQ(QChar(5));
const QString CR(QChar(13));
using Arrivals = QList<QPair<qint64, QString>>;
using Outcome = ExchangeRecord::Outcome;

// One exchange: the timeout text, the command, input and when it arrives; then what went out,
// the reply, how long it took, how it ended, what came during the wait that ended it (and how
// many bytes, when more came than is kept), whether a framed reply's FCS holds, and part of the
// message when the command is refused.
struct Case {
    QString timeOut{};
    QString command{};
    Arrivals arrivals{};
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
// exchange's rules over random input are proven by fuzz/fuzz_exchange; these rows pin the
// boundaries and the defaults.
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
    const Arrivals answered{{0, ENQ}, {10, "OK" + CR}};
    const QString sentRD = ENQ + "RD" + CR;
    // clang-format off
    row("earlier CRs belong to the reply", {"500", "RD", {{0, ENQ}, {10, "A" + CR + "B"}, {20, "C" + CR}}, sentRD, "A" + CR + "BC", 20, Outcome::Reply, "A" + CR + "BC" + CR});
    row("blanks around a command go out as typed", {"500", " RD ", answered, ENQ + " RD " + CR, "OK", 10, Outcome::Reply, "OK" + CR});
    row("a blank before @ means a handshake", {"500", " @a", answered, ENQ + " @a" + CR, "OK", 10, Outcome::Reply, "OK" + CR});
    row("a bare CR is an empty reply", {"500", "@r", {{7, CR}}, "@r" + CR, "", 7, Outcome::Reply, CR});
    row("framed reply, FCS holds", {"500", "@00RD56*", {{3, "@00OKRD52*" + CR}}, "@00RD56*" + CR, "@00OKRD52*", 3, Outcome::Reply, "@00OKRD52*" + CR, true});
    row("framed reply, FCS fails", {"500", "@00RD56*", {{3, "@00OKRD53*" + CR}}, "@00RD56*" + CR, "@00OKRD53*", 3, Outcome::Reply, "@00OKRD53*" + CR, false});
    row("late ENQ then silence: both waits add up", {"900", "RD", {{899, ENQ}}, sentRD, "", 1799, Outcome::Silent});
    row("ENQ at the deadline still counts", {"900", "RD", {{900, ENQ}, {901, "Z" + CR}}, sentRD, "Z", 901, Outcome::Reply, "Z" + CR});
    row("only a lone ENQ counts", {"300", "RD", {{1, ENQ + "x"}, {50, ENQ}, {60, "Y" + CR}}, sentRD, "Y", 60, Outcome::Reply, "Y" + CR});
    row("two ENQs: handshake unanswered, what came shown", {"300", "RD", {{1, ENQ + ENQ}}, ENQ, "", 300, Outcome::HandshakeUnanswered, ENQ + ENQ});
    row("arriving input does not move the deadline", {"250", "@r", {{100, "O"}, {200, "K"}, {300, CR}}, "@r" + CR, "", 250, Outcome::NoClosingCr, "OK"});
    row("CR LF: no closing CR", {"500", "@r", {{4, "OK" + CR + "\n"}}, "@r" + CR, "", 500, Outcome::NoClosingCr, "OK" + CR + "\n"});
    row("the first 256 bytes kept, all counted", {"500", "@r", {{4, QString(200, 'a')}, {5, QString(100, 'b')}}, "@r" + CR, "", 500, Outcome::NoClosingCr, QString(200, 'a') + QString(56, 'b'), {}, 300});
    row("timeout 0: handshake 1000 ms", {"0", "RD", {}, ENQ, "", 1000, Outcome::HandshakeUnanswered});
    row("timeout -5: reply 500 ms", {"-5", "@r", {}, "@r" + CR, "", 500, Outcome::Silent});
    row("timeout 0.5 rounds to even 0", {" 0.5 ", "@r", {}, "@r" + CR, "", 500, Outcome::Silent});
    row("line feed after the timeout: refused", {.timeOut = "500\n", .command = "RD", .failure = "is not a number"});
    // clang-format on
}

void TestCommandExchange::exchange()
{
    QFETCH(Case, c);
    FakeClock clock;
    FakeLine line(clock);
    for (const auto &[at, text] : c.arrivals)
        line.arriveAt(at, text);
    FakeSetup setup;
    setup.timeOut = c.timeOut;
    CommandExchange exchange(line, clock, setup);

    ExchangeRecord record;
    const QString message = failureText([&] { record = exchange.run(c.command); });
    QVERIFY2(c.failure.isEmpty() ? message.isNull() : message.contains(c.failure),
             qPrintable(message));
    QCOMPARE(exchange.state().lastResponse, c.reply);
    QCOMPARE(line.written, c.wire);
    QCOMPARE(clock.now, c.elapsed);
    // A refused timeout is found before the port is opened.
    QCOMPARE(setup.opens, c.failure.isEmpty() ? 1 : 0);
    if (!c.failure.isEmpty())
        return;
    QCOMPARE(record.reply, c.outcome == Outcome::Reply ? std::optional(c.reply) : std::nullopt);
    QCOMPARE(record.outcome, c.outcome);
    QCOMPARE(record.received, c.received);
    QCOMPARE(record.receivedCount, c.count < 0 ? c.received.size() : c.count);
    QCOMPARE(record.frameCheckHolds, c.fcs);
    QCOMPARE(record.elapsedMs, c.elapsed);
    QCOMPARE(record.started, clock.wall);
    QCOMPARE(QStringList({record.command, record.port, record.settings}),
             QStringList({c.command, line.port, "9600,N,8,1"}));
}

QTEST_GUILESS_MAIN(TestCommandExchange)
#include "tst_commandexchange.moc"
