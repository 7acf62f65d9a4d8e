#include "failuretext.h"
#include "plcrig.h"

#include <QProcess>
#include <QTest>

#include <termios.h>

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
    void anotherProgramHoldsThePort();
    void deviceLost();
};

void TestSerialLine::exchange_data()
{
    QTest::addColumn<Options>("options");
    QTest::addColumn<QString>("command");
    QTest::addColumn<QByteArray>("wire");
    QTest::addColumn<QString>("reply");

    // clang-format off
    QTest::newRow("frame goes out without handshake") << Options{} << "@00abc20*" << QByteArray("@00abc20*\r") << "@00OKabc24*";
    QTest::newRow("frame with a bad check") << Options{} << "@00abc21*" << QByteArray("@00abc21*\r") << "@00ER57*";
    QTest::newRow("reply in pieces") << Options{.pieces = 4, .pauseMs = 20} << "RD D100" << QByteArray("\x05RD D100\r") << "OK RD D100";
    QTest::newRow("8-bit characters travel as single bytes") << Options{} << "\u00E9\u00FF" << QByteArray("\x05\xE9\xFF\r") << "OK \u00E9\u00FF";
    // clang-format on
}

void TestSerialLine::exchange()
{
    QFETCH(Options, options);
    QFETCH(QString, command);
    QFETCH(QByteArray, wire);
    QFETCH(QString, reply);

    PlcRig rig(options);
    QCOMPARE(rig.exchange.sendCommand(command), reply);
    QCOMPARE(rig.received(), wire);
}

void TestSerialLine::leftoverSurvivesReopen()
{
    PlcRig rig({.silent = true});
    rig.timeOut = "100";
    rig.openPort_Click();
    // A reply ending in CR LF: its last character is no CR, so it stays in the buffer.
    QVERIFY(rig.engine.send("OK\r\n"));
    QCOMPARE(rig.exchange.sendCommand("@A"), QString());

    QVERIFY(closePortSteps(rig.comm));
    rig.openPort_Click();
    QVERIFY(rig.engine.send("X\r"));
    QCOMPARE(rig.exchange.sendCommand("@B"), QString("OK\r\nX"));
}

void TestSerialLine::openSteps_data()
{
    QTest::addColumn<PortChoices>("choices");
    QTest::addColumn<QString>("result"); // the Open-at line, or part of the failure
    QTest::addColumn<qint16>("commPortAfter");
    QTest::addColumn<QString>("settingsAfter");

    // clang-format off
    QTest::newRow("load-time selections") << PortChoices{"9600", "None", "8", "1", 0}
        << "COM 1: Open at 9600,N,8,1" << qint16(1) << "9600,N,8,1";
    QTest::newRow("COM6, 115200, Odd, 7, 2") << PortChoices{"115200", "Odd", "7", "2", 5}
        << "COM 6: Open at 115200,O,7,2" << qint16(6) << "115200,O,7,2";
    QTest::newRow("typed lower-case parity") << PortChoices{"1200", "even", "7", "1", 2}
        << "COM 3: Open at 1200,e,7,1" << qint16(3) << "1200,e,7,1";
    QTest::newRow("no baud selected: stops at the settings") << PortChoices{"", "None", "8", "1", 3}
        << "The line settings \",N,8,1\" cannot be used" << qint16(1) << "9600,N,8,1";
    QTest::newRow("typed parity that is no ASCII letter") << PortChoices{"9600", "\u017F", "8", "1", 0}
        << "The line settings \"9600,\u017F,8,1\" cannot be used" << qint16(1) << "9600,N,8,1";
    QTest::newRow("no port selected: stops at the port number") << PortChoices{"4800", "Odd", "8", "2", -1}
        << "Port number 0 cannot be used" << qint16(1) << "4800,O,8,2";
    QTest::newRow("1.5 stop bits: refused at the open, not turned into 1") << PortChoices{"9600", "None", "8", "1.5", 0}
        << "cannot take the line settings \"9600,N,8,1.5\"" << qint16(1) << "9600,N,8,1.5";
    // clang-format on
}

void TestSerialLine::openSteps()
{
    QFETCH(PortChoices, choices);
    QFETCH(QString, result);
    QFETCH(qint16, commPortAfter);
    QFETCH(QString, settingsAfter);

    PlcRig rig({}, qBound(1, choices.portPosition + 1, 6));
    rig.choices = choices;
    const QString failure = failureText([&] { rig.openPort_Click(); });
    QCOMPARE(rig.comm.CommPort(), commPortAfter);
    QCOMPARE(rig.comm.Settings(), settingsAfter);
    if (!failure.isNull()) {
        QVERIFY2(failure.contains(result), qPrintable(failure));
        QVERIFY(!rig.comm.PortOpen() && rig.openLines.isEmpty());
        return;
    }
    QCOMPARE(rig.openLines, QStringList{result});
    // The device runs as chosen. A pseudo-terminal keeps the speed, the stop bits and the
    // odd-parity flag; data bits and parity are checked as handed to the port.
    termios line{};
    QCOMPARE(::tcgetattr(rig.terminal.masterFd(), &line), 0);
    QCOMPARE(::cfgetospeed(&line), speed_t(choices.baud == "9600"     ? B9600
                                           : choices.baud == "115200" ? B115200
                                                                      : B1200));
    QCOMPARE(bool(line.c_cflag & CSTOPB), choices.stopBits == "2");
    QCOMPARE(bool(line.c_cflag & PARODD), choices.parity == "Odd");
    QCOMPARE(int(rig.comm.device().dataBits()), choices.dataBits.toInt());
    QCOMPARE(rig.comm.device().parity(), choices.parity == "None"  ? QSerialPort::NoParity
                                         : choices.parity == "Odd" ? QSerialPort::OddParity
                                                                   : QSerialPort::EvenParity);
    // Open again: nothing read, nothing logged, nothing changed.
    rig.choices = PortChoices{};
    rig.openPort_Click();
    QCOMPARE(rig.openLines.size(), 1);
}

void TestSerialLine::anotherProgramHoldsThePort()
{
    PlcRig rig;
    QProcess holder;
    holder.start("flock", {"--no-fork", QString::fromStdString(rig.terminal.slavePath()), "sh",
                           "-c", "echo locked; exec sleep 30"});
    QVERIFY(holder.waitForReadyRead(5000));
    const QString failure = failureText([&] { rig.openPort_Click(); });
    QVERIFY2(failure.contains("in use by another program"), qPrintable(failure));
    holder.kill();
    holder.waitForFinished();
    rig.openPort_Click();
    QVERIFY(rig.comm.PortOpen());
}

void TestSerialLine::deviceLost()
{
    // The controller takes one command, then hangs up instead of answering.
    PlcRig rig({.silent = true, .hangupAfter = 1});
    rig.timeOut = "5000"; // far longer than the hang-up takes
    QString failure = failureText([&] { rig.exchange.sendCommand("RD D100"); });
    QVERIFY2(failure.contains("went away"), qPrintable(failure));
    QVERIFY(rig.comm.PortOpen());
    QVERIFY(failureText([&] { rig.comm.setOutput("again"); }).contains("went away"));
    QVERIFY(closePortSteps(rig.comm));

    // Idle: the hang-up arrives while the event loop runs, not during an exchange.
    PlcRig idle;
    idle.openPort_Click();
    idle.engine.stop();
    idle.terminal.hangUp();
    QTRY_VERIFY_WITH_TIMEOUT(failureText([&] { idle.comm.Input(); }).contains("went away"), 5000);
}

QTEST_GUILESS_MAIN(TestSerialLine)
#include "tst_serialline.moc"
