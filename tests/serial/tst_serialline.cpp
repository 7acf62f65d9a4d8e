#include "failuretext.h"
#include "plcrig.h"

#include <QTest>

#include <fcntl.h>
#include <sys/file.h>
#include <termios.h>
#include <unistd.h>

// The serial line against a simulated controller on a real pseudo-terminal.
class TestSerialLine : public QObject
{
    Q_OBJECT
private slots:
    void open_data();
    void open();
    void leftoverJoinsTheNextReply();
    void anotherProgramHoldsThePort();
    void hangUpWhileIdle();
};

void TestSerialLine::open_data()
{
    QTest::addColumn<PortChoices>("choices");
    QTest::addColumn<QString>("result"); // the Open-at line

    // clang-format off
    QTest::newRow("COM6, 115200, Odd, 7, 2") << PortChoices{"115200", "Odd", "7", "2", 5} << "COM 6: Open at 115200,O,7,2";
    QTest::newRow("typed lower-case parity") << PortChoices{"1200", "even", "8", "1", 2} << "COM 3: Open at 1200,e,8,1";
    // clang-format on
}

void TestSerialLine::open()
{
    QFETCH(PortChoices, choices);
    QFETCH(QString, result);

    PlcRig rig({}, choices.portPosition + 1);
    rig.choices = choices;
    QCOMPARE(openPortSteps(rig.comm, rig).value_or(QString()), result);
    // A pseudo-terminal keeps the speed, the stop bits and the odd-parity flag; it drops the
    // data bits, so those are checked as handed to the port.
    termios line{};
    QCOMPARE(::tcgetattr(rig.terminal.masterFd(), &line), 0);
    QCOMPARE(::cfgetospeed(&line), choices.baud == "115200" ? speed_t(B115200) : speed_t(B1200));
    QCOMPARE(bool(line.c_cflag & CSTOPB), choices.stopBits == "2");
    QCOMPARE(bool(line.c_cflag & PARODD), choices.parity == "Odd");
    QCOMPARE(int(rig.comm.device().dataBits()), choices.dataBits.toInt());
}

void TestSerialLine::leftoverJoinsTheNextReply()
{
    // A reply ending in CR LF: its last character is no CR, so it waits for the next reply, even
    // across closing and opening the port. 8-bit characters travel as single bytes.
    PlcRig rig({.silent = true});
    rig.timeOut = "100";
    rig.openPort_Click();
    QVERIFY(rig.engine.send("OK\r\n"));
    QCOMPARE(rig.exchange.sendCommand("@A"), QString());

    QVERIFY(closePortSteps(rig.comm));
    rig.openPort_Click();
    QVERIFY(rig.engine.send("\xE9\r"));
    QCOMPARE(rig.exchange.sendCommand("@\u00FF"), QString("OK\r\n\u00E9"));
    QTRY_COMPARE(rig.received(), QByteArray("@A\r@\xFF\r"));
}

void TestSerialLine::anotherProgramHoldsThePort()
{
    // A lock on a second open of the device stands for another program's: flock locks belong to
    // the open file, not to the process.
    PlcRig rig;
    const int holder = ::open(rig.terminal.slavePath().c_str(), O_RDWR | O_NOCTTY);
    QVERIFY(holder >= 0 && ::flock(holder, LOCK_EX | LOCK_NB) == 0);
    const QString failure = failureText([&] { rig.openPort_Click(); });
    ::close(holder);
    QVERIFY2(failure.contains("in use by another program"), qPrintable(failure));
}

void TestSerialLine::hangUpWhileIdle()
{
    // The hang-up arrives while the event loop runs, not during an exchange.
    PlcRig rig;
    rig.openPort_Click();
    rig.engine.stop();
    rig.terminal.hangUp();
    // Each front end tells the operator what to do there.
    const auto lost = [&](FrontEnd frontEnd) {
        return failureText([&] { rig.comm.Input(); }, frontEnd);
    };
    QTRY_VERIFY_WITH_TIMEOUT(
        lost(FrontEnd::Window)
            .endsWith("went away: the adapter was unplugged or the other end hung up. "
                      "Close the port, check the connection and open it again."),
        5000);
    QVERIFY(lost(FrontEnd::CommandLine)
                .endsWith("hung up. Check the connection and run the command again."));
}

QTEST_GUILESS_MAIN(TestSerialLine)
#include "tst_serialline.moc"
