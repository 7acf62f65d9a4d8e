#include "failuretext.h"
#include "fakeline.h"

#include <QTest>

namespace
{
const QString ENQ(QChar(5));
const QString CR(QChar(13));
using Arrivals = QList<QPair<qint64, QString>>;

// One exchange: the timeout text, the command, input and when it arrives; then what went out,
// the reply, how long it took, and part of the message when the command is refused.
struct Case {
    QString timeOut{};
    QString command{};
    Arrivals arrivals{};
    QString wire{};
    QString reply{};
    qint64 elapsed = 0;
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
    row("earlier CRs belong to the reply", {"500", "RD", {{0, ENQ}, {10, "A" + CR + "B"}, {20, "C" + CR}}, sentRD, "A" + CR + "BC", 20});
    row("blanks around a command go out as typed", {"500", " RD ", answered, ENQ + " RD " + CR, "OK", 10});
    row("a blank before @ means a handshake", {"500", " @a", answered, ENQ + " @a" + CR, "OK", 10});
    row("late ENQ then silence: both waits add up", {"900", "RD", {{899, ENQ}}, sentRD, "", 1799});
    row("ENQ at the deadline still counts", {"900", "RD", {{900, ENQ}, {901, "Z" + CR}}, sentRD, "Z", 901});
    row("only a lone ENQ counts", {"300", "RD", {{1, ENQ + "x"}, {50, ENQ}, {60, "Y" + CR}}, sentRD, "Y", 60});
    row("arriving input does not move the deadline", {"250", "@r", {{100, "O"}, {200, "K"}, {300, CR}}, "@r" + CR, "", 250});
    row("timeout 0: handshake 1000 ms", {"0", "RD", {}, ENQ, "", 1000});
    row("timeout -5: reply 500 ms", {"-5", "@r", {}, "@r" + CR, "", 500});
    row("timeout 0.5 rounds to even 0", {" 0.5 ", "@r", {}, "@r" + CR, "", 500});
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
    FakeHost host;
    host.timeOut = c.timeOut;
    CommandExchange exchange(line, clock, host);

    QString reply;
    const QString message = failureText([&] { reply = exchange.sendCommand(c.command); });
    QVERIFY2(c.failure.isEmpty() ? message.isNull() : message.contains(c.failure),
             qPrintable(message));
    QCOMPARE(reply, c.reply);
    QCOMPARE(line.written, c.wire);
    QCOMPARE(clock.now, c.elapsed);
    // A refused timeout is found before the port is opened.
    QCOMPARE(host.opens, c.failure.isEmpty() ? 1 : 0);
}

QTEST_GUILESS_MAIN(TestCommandExchange)
#include "tst_commandexchange.moc"
