#include "failuretext.h"
#include "fakeline.h"

#include <QTest>

namespace
{
const QString ENQ(QChar(5));
const QString CR(QChar(13));
const QString LF(QChar(10));
using Arrivals = QList<QPair<qint64, QString>>;

// One exchange: the timeout text, the command, input and when it arrives (from the start
// tick); then what went out, the reply, what is left in the buffer, how long it took, and
// part of the message when the command is refused.
struct Case {
    QString timeOut{};
    QString command{};
    Arrivals arrivals{};
    QString wire{};
    QString reply{};
    QString leftover{};
    qint64 elapsed = 0;
    qint64 startTick = 0;
    QString failure{};
};
} // namespace

// Every exchange runs on a fake clock, so deadlines are checked to the millisecond.
class TestCommandExchange : public QObject
{
    Q_OBJECT
private slots:
    void exchange_data();
    void exchange();
    void leftoverJoinsNextReply();
};

void TestCommandExchange::exchange_data()
{
    QTest::addColumn<Case>("c");
    const auto row = [](const char *name, const Case &c) { QTest::newRow(name) << c; };
    const Arrivals answered{{0, ENQ}, {10, "OK" + CR}};
    const QString sentRD = ENQ + "RD" + CR;
    // clang-format off
    row("reply in pieces", {"500", "RD", {{0, ENQ}, {5, "O"}, {9, "K"}, {400, CR}}, sentRD, "OK", "", 400});
    row("earlier CRs belong to the reply", {"500", "RD", {{0, ENQ}, {10, "A" + CR + "B" + CR}}, sentRD,
        "A" + CR + "B", "", 10});
    row("CR LF is no reply; kept for later", {"500", "RD", {{0, ENQ}, {10, "OK" + CR + LF}}, sentRD, "",
        "OK" + CR + LF, 500});
    row("frame skips handshake", {"500", "@00abc20*", {{3, "@00OK*" + CR}}, "@00abc20*" + CR, "@00OK*", "", 3});
    row("blanks around a command go out as typed", {"500", " RD ", answered, ENQ + " RD " + CR, "OK", "", 10});
    row("a blank before @ means a handshake", {"500", " @a", answered, ENQ + " @a" + CR, "OK", "", 10});
    row("silent: handshake waits the timeout, no command", {"900", "RD", {}, ENQ, "", "", 900});
    row("late ENQ then silence: both waits add up", {"900", "RD", {{899, ENQ}}, sentRD, "", "", 1799});
    row("ENQ at the deadline still counts", {"900", "RD", {{900, ENQ}, {901, "Z" + CR}}, sentRD, "Z", "", 901});
    row("ENQ just after the deadline is too late", {"900", "RD", {{901, ENQ}}, ENQ, "", "", 900});
    row("only a lone ENQ counts; other input is dropped", {"300", "RD",
        {{1, ENQ + "x"}, {2, "junk"}, {50, ENQ}, {60, "Y" + CR}}, sentRD, "Y", "", 60});
    row("deadline is not moved by arriving input", {"250", "@r", {{100, "O"}, {200, "K"}, {300, CR}},
        "@r" + CR, "", "OK", 250});
    row("timeout 0: handshake 1000 ms", {"0", "RD", {}, ENQ, "", "", 1000});
    row("timeout -5: reply 500 ms", {"-5", "@r", {}, "@r" + CR, "", "", 500});
    row("timeout 0.4 rounds to 0: defaults", {"0.4", "RD", {{999, ENQ}}, sentRD, "", "", 1499});
    row("timeout 0.5 rounds to even 0", {" 0.5 ", "@r", {}, "@r" + CR, "", "", 500});
    row("timeout 1.5 between tabs rounds to even 2", {"\t1.5\t", "@r", {}, "@r" + CR, "", "", 2});
    row("ticks just below 2^31, longest timeout runs out", {"2147483647", "@r", {}, "@r" + CR, "", "",
        2147483647LL, (1LL << 31) - 10});
    row("ticks just below 2^32", {"500", "RD", answered, sentRD, "OK", "", 10, (1LL << 32) - 3});
    // Refused before the port is touched.
    row("empty timeout", {.timeOut = "", .command = "RD", .failure = "The timeout \"\" is not a number"});
    row("line feed after the timeout", {.timeOut = "500\n", .command = "RD", .failure = "is not a number"});
    row("timeout rounds above 32 bits", {.timeOut = "2147483647.5", .command = "RD", .failure = "is out of range"});
    row("character without a byte", {.timeOut = "500", .command = "RD \u20AC", .failure = "(U+20AC) at position 4"});
    // clang-format on
}

void TestCommandExchange::exchange()
{
    QFETCH(Case, c);
    FakeClock clock;
    clock.now = c.startTick;
    FakeLine line(clock);
    for (const auto &[at, text] : c.arrivals)
        line.arriveAt(c.startTick + at, text);
    FakeHost host;
    host.timeOut = c.timeOut;
    CommandExchange exchange(line, clock, host);

    QString reply;
    if (c.failure.isEmpty()) {
        QVERIFY_THROWS_NO_EXCEPTION(reply = exchange.sendCommand(c.command));
    } else {
        const QString message = failureText([&] { exchange.sendCommand(c.command); });
        QVERIFY2(message.contains(c.failure), qPrintable(message));
    }
    QCOMPARE(reply, c.reply);
    QCOMPARE(line.written, c.wire);
    QCOMPARE(exchange.state().receiveBuffer, c.leftover);
    QCOMPARE(clock.now - c.startTick, c.elapsed);
    QCOMPARE(host.opens, c.failure.isEmpty() ? 1 : 0);
    // Every wait either ends at an arrival or at the deadline: no spinning between polls.
    QVERIFY2(line.waits <= c.arrivals.size() + 2, qPrintable(QString::number(line.waits)));
}

void TestCommandExchange::leftoverJoinsNextReply()
{
    FakeClock clock;
    FakeLine line(clock);
    FakeHost host;
    CommandExchange exchange(line, clock, host);

    line.arriveAt(1, "OK" + CR + LF);
    QCOMPARE(exchange.sendCommand("@a"), QString());
    // A handshake failure leaves the leftover alone, as does a reply timeout with no input.
    QCOMPARE(exchange.sendCommand("RD"), QString());
    QCOMPARE(exchange.sendCommand("@b"), QString());
    line.arriveAt(clock.now + 1, "X" + CR);
    QCOMPARE(exchange.sendCommand("@c"), "OK" + CR + LF + "X");

    // A buffer far past 32767 characters is kept and completed like a short one.
    const QString longReply(100000, QLatin1Char('d'));
    line.arriveAt(clock.now + 1, longReply);
    QCOMPARE(exchange.sendCommand("@d"), QString());
    line.arriveAt(clock.now + 1, CR);
    QCOMPARE(exchange.sendCommand("@e"), longReply);
}

QTEST_GUILESS_MAIN(TestCommandExchange)
#include "tst_commandexchange.moc"
