#include "failuretext.h"
#include "plcrig.h"

#include <QTest>

#include <atomic>
#include <thread>

#include <fcntl.h>
#include <sys/file.h>
#include <termios.h>
#include <unistd.h>

// Everything the controller's end can read now.
static QByteArray drain(int master)
{
    QByteArray bytes;
    char chunk[4096];
    for (ssize_t count; (count = ::read(master, chunk, sizeof chunk)) > 0;)
        bytes.append(chunk, count);
    return bytes;
}

// The serial line against a simulated controller on a real pseudo-terminal.
class TestSerialLine : public QObject
{
    Q_OBJECT
private slots:
    void open();
    void leftover();
    void inputWhileIdle();
    void deviceFaults();
};

void TestSerialLine::open()
{
    // One set of settings that differs from the default in every field, its parity letter typed
    // in lower case. A pseudo-terminal keeps the speed, the stop bits and the odd-parity flag; it
    // drops the data bits, so those are checked as handed to the port.
    PlcRig rig;
    rig.comm.setSettings("115200,e,7,2");
    rig.makePortReady();
    termios line{};
    QCOMPARE(::tcgetattr(rig.terminal.masterFd(), &line), 0);
    QCOMPARE(QList<int>({int(::cfgetospeed(&line)), bool(line.c_cflag & CSTOPB),
                         bool(line.c_cflag & PARODD), int(rig.comm.device().dataBits())}),
             QList<int>({B115200, true, false, 7}));
}

void TestSerialLine::leftover()
{
    // A reply ending in CR LF: its last character is no CR, so it waits for the next reply on the
    // same port, even across closing and opening it, and is dropped before a command on another.
    // 8-bit characters travel as single bytes.
    PlcRig rig({.silent = true});
    SimulatedPlc other({.silent = true}, 2);
    rig.timeOut = "100";
    const auto run = [&](int port, const char *reply) {
        rig.comm.setPortOpen(false);
        rig.comm.setCommPort(qint16(port));
        rig.makePortReady();
        (port == 1 ? rig.engine : other.engine).send(reply);
        const ExchangeRecord record = rig.exchange.run("@\u00FF");
        return QStringList{record.reply.value_or("none"), QString::number(record.leftoverDropped)};
    };
    QCOMPARE(run(1, "OK\r\n"), QStringList({"none", "0"}));
    QCOMPARE(run(1, "\xE9\r"), QStringList({"OK\r\n\u00E9", "0"}));
    QCOMPARE(run(1, "OK\r\n"), QStringList({"none", "0"}));
    QCOMPARE(run(2, "\xE9\r"), QStringList({"\u00E9", "4"}));
    QTRY_COMPARE(rig.received() + other.received(), QByteArray("@\xFF\r@\xFF\r@\xFF\r@\xFF\r"));
}

void TestSerialLine::inputWhileIdle()
{
    // Qt reads while the event loop runs; of what comes with no command waiting only the newest
    // 64 KiB are kept, for the next command, which counts the rest as dropped.
    PlcRig rig({.silent = true});
    rig.timeOut = "100";
    rig.makePortReady();
    const std::string older(300000, 'a');
    const std::string newest(64 * 1024, 'b');
    std::atomic<bool> sent = false;
    std::jthread controller([&] { sent = rig.engine.send(older + newest); });
    QTRY_VERIFY_WITH_TIMEOUT(sent && !rig.terminal.slaveHasUnread(), 20000);

    const ExchangeRecord record = rig.exchange.run("@A");
    QCOMPARE(record.inputDropped, qint64(older.size()));
    QCOMPARE(record.receivedCount, qint64(newest.size()));
    QCOMPARE(record.received, QString(ExchangeRecord::kReceivedKept, 'b'));
}

// A device that is not the operator's to use: another program holds it, it holds the output up,
// it hangs up while no command waits. Each failure says so, and what to do.
void TestSerialLine::deviceFaults()
{
    PlcRig rig;
    // A lock on a second open of the device stands for another program's: flock locks belong to
    // the open file, not to the process.
    const int other = ::open(rig.terminal.slavePath().c_str(), O_RDWR | O_NOCTTY);
    QVERIFY(other >= 0 && ::flock(other, LOCK_EX | LOCK_NB) == 0);
    QVERIFY(failureText([&] { rig.makePortReady(); }).contains("in use by another program"));
    ::close(other);

    // Held up as by flow control, the first part of a long command in the driver's queue: only
    // what the controller's end took before stays; neither the driver's part nor the rest may go
    // out later. The device is given 5 s beyond the 9 ms the line needs for the rest.
    rig.makePortReady();
    rig.engine.stop();
    rig.comm.setOutput(QString(8192, 'a'));
    ::tcflow(rig.comm.device().handle(), TCOOFF);
    const QString heldUp = failureText([&] { rig.comm.setOutput("RD D100\r"); });
    QVERIFY2(heldUp.contains("within 5009 ms; the device is held up"), qPrintable(heldUp));
    ::tcflow(rig.comm.device().handle(), TCOON);
    rig.comm.setOutput("X");
    QByteArray received;
    QTRY_VERIFY((received += drain(rig.terminal.masterFd())).endsWith('X'));
    QCOMPARE(received, QByteArray(received.size() - 1, 'a') + 'X');
    QVERIFY(received.size() <= 8192);

    // The hang-up arrives while the event loop runs, not during an exchange.
    rig.terminal.hangUp();
    const auto lost = [&](FrontEnd frontEnd) {
        return failureText([&] { rig.comm.Input(); }, frontEnd);
    };
    QTRY_VERIFY(lost(FrontEnd::Window)
                    .endsWith("went away: the adapter was unplugged or the other end hung up. "
                              "Close the port, check the connection and open it again."));
    QVERIFY(lost(FrontEnd::CommandLine)
                .endsWith("hung up. Check the connection and run the command again."));
}

QTEST_GUILESS_MAIN(TestSerialLine)
#include "tst_serialline.moc"
