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
    QTest::addColumn<QString>("settings");
    QTest::addColumn<int>("port");

    QTest::newRow("COM6, 115200, odd, 7, 2") << "115200,O,7,2" << 6;
    QTest::newRow("typed lower-case parity") << "1200,e,8,1" << 3;
}

void TestSerialLine::open()
{
    QFETCH(QString, settings);
    QFETCH(int, port);

    PlcRig rig({}, port);
    rig.settings = settings;
    rig.makePortReady();
    // The port reports what it was given, for the Open-at line.
    QCOMPARE(rig.comm.CommPort(), port);
    QCOMPARE(rig.comm.Settings(), settings);
    // A pseudo-terminal keeps the speed, the stop bits and the odd-parity flag; it drops the
    // data bits, so those are checked as handed to the port.
    const QStringList fields = settings.split(',');
    termios line{};
    QCOMPARE(::tcgetattr(rig.terminal.masterFd(), &line), 0);
    QCOMPARE(::cfgetospeed(&line), fields[0] == "115200" ? speed_t(B115200) : speed_t(B1200));
    QCOMPARE(bool(line.c_cflag & CSTOPB), fields[3] == "2");
    QCOMPARE(bool(line.c_cflag & PARODD), fields[1] == "O");
    QCOMPARE(int(rig.comm.device().dataBits()), fields[2].toInt());
}

void TestSerialLine::leftoverJoinsTheNextReply()
{
    // A reply ending in CR LF: its last character is no CR, so it waits for the next reply, even
    // across closing and opening the port. 8-bit characters travel as single bytes.
    PlcRig rig({.silent = true});
    rig.timeOut = "100";
    rig.makePortReady();
    QVERIFY(rig.engine.send("OK\r\n"));
    QCOMPARE(rig.exchange.sendCommand("@A"), QString());

    rig.comm.setPortOpen(false);
    rig.makePortReady();
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
    const QString failure = failureText([&] { rig.makePortReady(); });
    ::close(holder);
    QVERIFY2(failure.contains("in use by another program"), qPrintable(failure));
}

void TestSerialLine::hangUpWhileIdle()
{
    // The hang-up arrives while the event loop runs, not during an exchange.
    PlcRig rig;
    rig.makePortReady();
    rig.engine.stop();
    rig.terminal.hangUp();
    QTRY_VERIFY_WITH_TIMEOUT(failureText([&] { rig.comm.Input(); }).contains("went away"), 5000);
}

QTEST_GUILESS_MAIN(TestSerialLine)
#include "tst_serialline.moc"
