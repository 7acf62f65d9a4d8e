#include "commandexchange.h"
#include "failure.h"
#include "fakeline.h"

#include <QTest>

namespace
{
const QString ENQ(QChar(5));
const QString CR(QChar(13));
const QString LF(QChar(10));
} // namespace

using Arrivals = QList<QPair<qint64, QString>>;

// Every exchange runs on a fake clock, so deadlines are checked to the millisecond.
class TestCommandExchange : public QObject
{
    Q_OBJECT
private slots:
    void exchange_data();
    void exchange();
    void leftoverJoinsNextReply();
    void badInputSendsNothing_data();
    void badInputSendsNothing();
};

void TestCommandExchange::exchange_data()
{
    QTest::addColumn<qint64>("startTick");
    QTest::addColumn<QString>("timeOut");
    QTest::addColumn<QString>("command");
    QTest::addColumn<Arrivals>("arrivals"); // times relative to the start tick
    QTest::addColumn<QString>("wire");
    QTest::addColumn<QString>("reply");
    QTest::addColumn<QString>("leftover");
    QTest::addColumn<qint64>("elapsed");

    // Rows: name, timeout text, command, input and when it arrives, what went out, the reply,
    // what is left in the buffer, and how long the exchange took.
    const auto row = [](const char *name, const QString &timeOut, const QString &command,
                        const Arrivals &arrivals, const QString &wire, const QString &reply,
                        const QString &leftover, qint64 elapsed, qint64 startTick = 0) {
        QTest::newRow(name) << startTick << timeOut << command << arrivals << wire << reply
                            << leftover << elapsed;
    };
    const Arrivals answered{{0, ENQ}, {10, "OK" + CR}};
    const QString sentRD = ENQ + "RD" + CR;
    // clang-format off
    row("reply in one read", "500 ", "RD", answered, sentRD, "OK", "", 10);
    row("reply in pieces", "500", "RD", {{0, ENQ}, {5, "O"}, {9, "K"}, {400, CR}}, sentRD, "OK", "", 400);
    row("earlier CRs belong to the reply", "500", "RD", {{0, ENQ}, {10, "A" + CR + "B" + CR}}, sentRD,
        "A" + CR + "B", "", 10);
    row("CR LF is no reply; kept for later", "500", "RD", {{0, ENQ}, {10, "OK" + CR + LF}}, sentRD, "",
        "OK" + CR + LF, 500);
    row("frame skips handshake", "500", "@00abc20*", {{3, "@00OK*" + CR}}, "@00abc20*" + CR, "@00OK*", "", 3);
    row("empty command still shakes hands", "500", "", answered, ENQ + CR, "OK", "", 10);
    row("a blank is a reply", "500", "RD", {{0, ENQ}, {1, " " + CR}}, sentRD, " ", "", 1);
    row("silent: handshake waits the timeout, no command", "900", "RD", {}, ENQ, "", "", 900);
    row("silent frame: reply waits the timeout", "900", "@x", {}, "@x" + CR, "", "", 900);
    row("late ENQ then silence: both waits add up", "900", "RD", {{899, ENQ}}, sentRD, "", "", 1799);
    row("ENQ at the deadline still counts", "900", "RD", {{900, ENQ}, {901, "Z" + CR}}, sentRD, "Z", "", 901);
    row("ENQ just after the deadline is too late", "900", "RD", {{901, ENQ}}, ENQ, "", "", 900);
    row("two ENQs in one read are refused", "300", "RD", {{1, ENQ + ENQ}}, ENQ, "", "", 300);
    row("ENQ with more in one read is refused; a later lone ENQ counts", "300", "RD",
        {{1, ENQ + "x"}, {50, ENQ}, {60, "Y" + CR}}, sentRD, "Y", "", 60);
    row("input while shaking hands is dropped", "300", "RD", {{1, "junk"}, {2, ENQ}, {3, "Y" + CR}},
        sentRD, "Y", "", 3);
    row("deadline is not moved by arriving input", "250", "@r", {{100, "O"}, {200, "K"}, {300, CR}},
        "@r" + CR, "", "OK", 250);
    row("timeout 0: handshake 1000 ms", "0", "RD", {}, ENQ, "", "", 1000);
    row("timeout -5: reply 500 ms", "-5", "@r", {}, "@r" + CR, "", "", 500);
    row("timeout 0.4 rounds to 0: defaults", "0.4", "RD", {{999, ENQ}}, sentRD, "", "", 1499);
    row("timeout 0.5 rounds to even 0", " 0.5 ", "@r", {}, "@r" + CR, "", "", 500);
    row("timeout 1.5 rounds to even 2", "1.5", "@r", {}, "@r" + CR, "", "", 2);
    row("ticks just below 2^31, longest timeout", "2147483647", "@r", {{2147483646LL, "E" + CR}},
        "@r" + CR, "E", "", 2147483646LL, (1LL << 31) - 10);
    row("ticks just below 2^31, longest timeout runs out", "2147483647", "@r", {}, "@r" + CR, "", "",
        2147483647LL, (1LL << 31) - 10);
    row("ticks just below 2^32", "500", "RD", answered, sentRD, "OK", "", 10, (1LL << 32) - 3);
    // clang-format on
}

void TestCommandExchange::exchange()
{
    QFETCH(qint64, startTick);
    QFETCH(QString, timeOut);
    QFETCH(QString, command);
    QFETCH(Arrivals, arrivals);
    QFETCH(QString, wire);
    QFETCH(QString, reply);
    QFETCH(QString, leftover);
    QFETCH(qint64, elapsed);

    FakeClock clock;
    clock.now = startTick;
    FakeLine line(clock);
    for (const auto &[at, text] : arrivals)
        line.arriveAt(startTick + at, text);
    FakeHost host;
    host.timeOut = timeOut;
    CommandExchange exchange(line, clock, host);

    const QString commandBefore = command;
    QCOMPARE(exchange.sendCommand(command), reply);
    QCOMPARE(line.written, wire);
    QCOMPARE(exchange.state().lastResponse, reply);
    QCOMPARE(exchange.state().receiveBuffer, leftover);
    QCOMPARE(clock.now - startTick, elapsed);
    QCOMPARE(host.opens, 1);
    QCOMPARE(command, commandBefore);
    // Every wait either ends at an arrival or at the deadline: no spinning between polls.
    QVERIFY2(line.waits <= arrivals.size() + 2, qPrintable(QString::number(line.waits)));
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
    QCOMPARE(exchange.state().receiveBuffer, "OK" + CR + LF);

    line.arriveAt(clock.now + 1, "X" + CR);
    QCOMPARE(exchange.sendCommand("@c"), "OK" + CR + LF + "X");
    QCOMPARE(exchange.state().receiveBuffer, QString());

    // A buffer far past 32767 characters is kept and completed like a short one.
    const QString longReply(100000, QLatin1Char('d'));
    line.arriveAt(clock.now + 1, longReply);
    QCOMPARE(exchange.sendCommand("@d"), QString());
    line.arriveAt(clock.now + 1, CR);
    QCOMPARE(exchange.sendCommand("@e"), longReply);
}

void TestCommandExchange::badInputSendsNothing_data()
{
    QTest::addColumn<QString>("timeOut");
    QTest::addColumn<QString>("command");
    QTest::addColumn<QString>("message");

    const auto row = [](const char *name, const QString &timeOut, const QString &command,
                        const QString &message) {
        QTest::newRow(name) << timeOut << command << message;
    };
    // clang-format off
    row("empty timeout", "", "RD", "The timeout \"\" is not a number");
    row("letters", "abc", "RD", "The timeout \"abc\" is not a number");
    row("two numbers", "5 5", "RD", "is not a number");
    row("exponent", "1e3", "RD", "is not a number");
    row("line feed after the number", "500\n", "RD", "is not a number");
    row("above 32 bits", "2147483648", "RD", "is out of range");
    row("rounds above 32 bits", "2147483647.5", "RD", "is out of range");
    row("below 32 bits", "-2147483649", "RD", "is out of range");
    row("character without a byte", "500", QString("RD ") + QChar(0x20AC), "(U+20AC) at position 4");
    // clang-format on
}

void TestCommandExchange::badInputSendsNothing()
{
    FakeClock clock;
    FakeLine line(clock);
    QFETCH(QString, timeOut);
    QFETCH(QString, command);
    QFETCH(QString, message);
    FakeHost host;
    host.timeOut = timeOut;
    CommandExchange exchange(line, clock, host);
    try {
        exchange.sendCommand(command);
        QFAIL("the command was accepted");
    } catch (const Failure &failure) {
        QVERIFY2(failure.message().contains(message), qPrintable(failure.message()));
    }
    QCOMPARE(host.opens, 0);
    QCOMPARE(line.written, QString());
}

QTEST_GUILESS_MAIN(TestCommandExchange)
#include "tst_commandexchange.moc"
