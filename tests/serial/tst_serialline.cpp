#include "failure.h"
#include "plcrig.h"

#include <QProcess>
#include <QTest>

using Options = plcsim::PlcOptions;

// The serial line against a simulated controller on a real pseudo-terminal.
class TestSerialLine : public QObject
{
    Q_OBJECT
private slots:
    void exchange_data();
    void exchange();
    void leftoverSurvivesReopen();
    void openSteps_data();
    void openSteps();
    void settingsRefused_data();
    void settingsRefused();
    void secondOpenerRefused();
    void deviceLost();
};

void TestSerialLine::exchange_data()
{
    QTest::addColumn<Options>("options");
    QTest::addColumn<QString>("command");
    QTest::addColumn<QByteArray>("wire");
    QTest::addColumn<QString>("reply");

    const auto row = [](const char *name, const QString &command, const QByteArray &wire,
                        const QString &reply, const Options &options = {}) {
        QTest::newRow(name) << options << command << wire << reply;
    };
    // clang-format off
    row("handshake, command, reply", "RD D100", "\x05RD D100\r", "OK RD D100");
    row("frame goes out without handshake", "@00abc20*", "@00abc20*\r", "@00OKabc24*");
    row("frame with a bad check", "@00abc21*", "@00abc21*\r", "@00ER57*");
    row("reply in pieces", "RD D100", "\x05RD D100\r", "OK RD D100", {.pieces = 4, .pauseMs = 20});
    row("late answers", "X", "\x05X\r", "OK X", {.enqDelayMs = 100, .replyDelayMs = 100});
    row("no handshake answer: only ENQ goes out", "RD D100", "\x05", "", {.answerEnq = false});
    row("silent controller", "RD D100", "\x05RD D100\r", "", {.silent = true});
    row("8-bit characters travel as single bytes", "\u00E9\u00FF", "\x05\xE9\xFF\r", "OK \u00E9\u00FF");
    // clang-format on
}

void TestSerialLine::exchange()
{
    QFETCH(Options, options);
    QFETCH(QString, command);
    QFETCH(QByteArray, wire);
    QFETCH(QString, reply);

    PlcRig rig(options);
    rig.timeOut = reply.isEmpty() ? "150" : "3000";
    QCOMPARE(rig.exchange.sendCommand(command), reply);
    QCOMPARE(rig.openLines, QStringList{"COM 1: Open at 9600,N,8,1"});
    QCOMPARE(rig.received(), wire);
    QCOMPARE(rig.exchange.state().receiveBuffer, QString());
}

void TestSerialLine::leftoverSurvivesReopen()
{
    Options silent;
    silent.silent = true;
    PlcRig rig(silent);
    rig.timeOut = "100";
    rig.openPort_Click();
    // A reply ending in CR LF: its last character is no CR, so it stays in the buffer.
    QVERIFY(rig.engine.send("OK\r\n"));
    QCOMPARE(rig.exchange.sendCommand("@A"), QString());
    QCOMPARE(rig.exchange.state().receiveBuffer, QString("OK\r\n"));

    QVERIFY(closePortSteps(rig.comm));
    QVERIFY(!closePortSteps(rig.comm));
    rig.openPort_Click();
    QCOMPARE(rig.openLines.size(), 2);
    QVERIFY(rig.engine.send("X\r"));
    QCOMPARE(rig.exchange.sendCommand("@B"), QString("OK\r\nX"));
    QCOMPARE(rig.exchange.state().receiveBuffer, QString());
}

void TestSerialLine::openSteps_data()
{
    QTest::addColumn<PortChoices>("choices");
    QTest::addColumn<QString>("result"); // the Open-at line, or part of the failure
    QTest::addColumn<qint16>("commPortAfter");
    QTest::addColumn<QString>("settingsAfter");

    QTest::newRow("load-time selections")
        << PortChoices{"9600", "None", "8", "1", 0} << "COM 1: Open at 9600,N,8,1" << qint16(1)
        << "9600,N,8,1";
    QTest::newRow("COM6, 115200, Odd, 7, 2")
        << PortChoices{"115200", "Odd", "7", "2", 5} << "COM 6: Open at 115200,O,7,2" << qint16(6)
        << "115200,O,7,2";
    QTest::newRow("Even") << PortChoices{"1200", "Even", "8", "1", 2} << "COM 3: Open at 1200,E,8,1"
                          << qint16(3) << "1200,E,8,1";
    QTest::newRow("lower-case parity kept")
        << PortChoices{"2400", "even", "8", "1", 1} << "COM 2: Open at 2400,e,8,1" << qint16(2)
        << "2400,e,8,1";
    QTest::newRow("no baud selected: stops at the settings")
        << PortChoices{"", "None", "8", "1", 3} << "The line settings \",N,8,1\" cannot be used"
        << qint16(1) << "9600,N,8,1";
    QTest::newRow("no port selected: stops at the port number")
        << PortChoices{"4800", "Odd", "8", "2", -1} << "Port number 0 cannot be used" << qint16(1)
        << "4800,O,8,2";
    QTest::newRow("no such device: stops at the open")
        << PortChoices{"19200", "None", "7", "1", 6} << "COM7 (/dev/ttyS6) cannot be opened"
        << qint16(7) << "19200,N,7,1";
    QTest::newRow("1.5 stop bits: refused at the open, not turned into 1")
        << PortChoices{"9600", "None", "8", "1.5", 0}
        << "cannot take the line settings \"9600,N,8,1.5\"" << qint16(1) << "9600,N,8,1.5";
}

void TestSerialLine::openSteps()
{
    QFETCH(PortChoices, choices);
    QFETCH(QString, result);
    QFETCH(qint16, commPortAfter);
    QFETCH(QString, settingsAfter);

    qunsetenv("VANTREL_COM7");
    PlcRig rig({}, qBound(1, choices.portPosition + 1, 6));
    rig.choices = choices;
    try {
        rig.openPort_Click();
        QCOMPARE(rig.openLines, QStringList{result});
        QVERIFY(rig.comm.PortOpen());
        // Open again: nothing read, nothing logged, nothing changed.
        rig.choices = PortChoices{};
        rig.openPort_Click();
        QCOMPARE(rig.openLines.size(), 1);
    } catch (const Failure &failure) {
        QVERIFY2(failure.message().contains(result), qPrintable(failure.message()));
        QVERIFY(!rig.comm.PortOpen());
        QVERIFY(rig.openLines.isEmpty());
    }
    QCOMPARE(rig.comm.CommPort(), commPortAfter);
    QCOMPARE(rig.comm.Settings(), settingsAfter);
}

void TestSerialLine::settingsRefused_data()
{
    QTest::addColumn<QString>("settings");
    QTest::addColumn<bool>("usable");

    for (const char *good : {"9600,N,8,1", "115200,o,7,2", "300,M,5,1.5", "12345,s,6,1"})
        QTest::newRow(good) << good << true;
    for (const char *bad :
         {"", "9600,N,8", "9600,N,8,1,", " 9600,N,8,1", "0,N,8,1", "-9600,N,8,1", "96OO,N,8,1",
          "9600,X,8,1", "9600,\u017F,8,1", "9600,NN,8,1", "9600,N,9,1", "9600,N,4,1", "9600,N,8,3",
          "9600,N,8,1.0", "99999999999,N,8,1"})
        QTest::newRow(bad) << bad << false;
}

void TestSerialLine::settingsRefused()
{
    QFETCH(QString, settings);
    QFETCH(bool, usable);

    MSComm comm;
    try {
        comm.setSettings(settings);
        QVERIFY(usable);
        QCOMPARE(comm.Settings(), settings);
    } catch (const Failure &failure) {
        QVERIFY2(!usable, qPrintable(failure.message()));
        QVERIFY(failure.message().contains('"' + settings + '"'));
        QCOMPARE(comm.Settings(), QString("9600,N,8,1"));
    }
}

void TestSerialLine::secondOpenerRefused()
{
    PlcRig rig;
    rig.openPort_Click();

    MSComm second;
    QVERIFY_THROWS_EXCEPTION(Failure, second.setPortOpen(true));
    QVERIFY(!second.PortOpen());

    // Another program holding the device.
    QVERIFY(closePortSteps(rig.comm));
    QProcess holder;
    holder.start("flock", {"--no-fork", QString::fromStdString(rig.terminal.slavePath()), "sh",
                           "-c", "echo locked; exec sleep 30"});
    QVERIFY(holder.waitForReadyRead(5000));
    try {
        rig.openPort_Click();
        QFAIL("opened a device that another program holds");
    } catch (const Failure &failure) {
        QVERIFY2(failure.message().contains("in use by another program"),
                 qPrintable(failure.message()));
    }
    holder.kill();
    holder.waitForFinished();
    rig.openPort_Click();
    QVERIFY(rig.comm.PortOpen());
}

void TestSerialLine::deviceLost()
{
    // The controller takes one command, then hangs up instead of answering.
    Options options;
    options.silent = true;
    options.hangupAfter = 1;
    PlcRig rig(options);
    rig.timeOut = "60000";
    try {
        rig.exchange.sendCommand("RD D100");
        QFAIL("a hang-up passed for a reply");
    } catch (const Failure &failure) {
        QVERIFY2(failure.message().contains("went away"), qPrintable(failure.message()));
    }
    QVERIFY(rig.comm.PortOpen());
    QVERIFY_THROWS_EXCEPTION(Failure, rig.comm.setOutput("again"));
    QVERIFY_THROWS_EXCEPTION(Failure, rig.comm.Input());
    QVERIFY(closePortSteps(rig.comm));
    QVERIFY(!rig.comm.PortOpen());

    // Idle: the hang-up arrives while the event loop runs, not during an exchange.
    PlcRig idle;
    idle.openPort_Click();
    idle.engine.stop();
    idle.terminal.hangUp();
    QTRY_VERIFY_WITH_TIMEOUT(
        [&] {
            try {
                idle.comm.Input();
                return false;
            } catch (const Failure &failure) {
                return failure.message().contains("went away");
            }
        }(),
        5000);
    QVERIFY(closePortSteps(idle.comm));
}

QTEST_GUILESS_MAIN(TestSerialLine)
#include "tst_serialline.moc"
