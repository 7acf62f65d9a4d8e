#include "failuretext.h"
#include "plcrig.h"

#include <QTest>

#include <atomic>
#include <chrono>
#include <thread>

#include <fcntl.h>
#include <sys/file.h>
#include <termios.h>
#include <unistd.h>

namespace
{

// Writes to the device through a second descriptor until it takes no more, not even a byte;
// returns how much.
qsizetype fill(const std::string &device)
{
    const int fd = ::open(device.c_str(), O_WRONLY | O_NOCTTY | O_NONBLOCK);
    const QByteArray chunk(1024, 'a');
    qsizetype written = 0;
    for (const qsizetype size : {chunk.size(), qsizetype(1)})
        for (ssize_t count; (count = ::write(fd, chunk.constData(), size)) > 0;)
            written += count;
    ::close(fd);
    return written;
}

// Everything the controller's end can read now.
QByteArray drain(int master)
{
    QByteArray bytes;
    char chunk[4096];
    for (ssize_t count; (count = ::read(master, chunk, sizeof chunk)) > 0;)
        bytes.append(chunk, count);
    return bytes;
}

} // namespace

// The serial line against a simulated controller on a real pseudo-terminal.
class TestSerialLine : public QObject
{
    Q_OBJECT
private slots:
    void open_data();
    void open();
    void leftover_data();
    void leftover();
    void inputWhileIdle();
    void output_data();
    void output();
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

void TestSerialLine::leftover_data()
{
    QTest::addColumn<int>("port"); // the second command's
    QTest::addColumn<QString>("reply");
    QTest::addColumn<qint64>("dropped");
    QTest::newRow("same port reopened: joins the next reply") << 1 << "OK\r\n\u00E9" << qint64(0);
    QTest::newRow("another port: dropped") << 2 << "\u00E9" << qint64(4);
}

void TestSerialLine::leftover()
{
    // A reply ending in CR LF: its last character is no CR, so it waits for the next reply on
    // the same port, even across closing and opening it. 8-bit characters travel as single bytes.
    QFETCH(int, port);
    QFETCH(QString, reply);
    QFETCH(qint64, dropped);
    PlcRig rig({.silent = true});
    SimulatedPlc other({.silent = true}, 2);
    rig.timeOut = "100";
    rig.makePortReady();
    QVERIFY(rig.engine.send("OK\r\n"));
    QCOMPARE(rig.exchange.sendCommand("@A"), QString());

    rig.comm.setPortOpen(false);
    rig.comm.setCommPort(qint16(port));
    rig.makePortReady();
    QVERIFY((port == 1 ? rig.engine : other.engine).send("\xE9\r"));
    const ExchangeRecord record = rig.exchange.run("@\u00FF");
    QCOMPARE(record.reply, reply);
    QCOMPARE(record.leftoverDropped, dropped);
    QTRY_COMPARE(rig.received() + other.received(), QByteArray("@A\r@\xFF\r"));
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

void TestSerialLine::output_data()
{
    QTest::addColumn<bool>("paced"); // the device takes 8 KiB a second, or nothing
    QTest::addColumn<QByteArray>("command");
    // At 9600 baud the line needs over a minute for 50 KiB, so more than 5 s is no hold-up.
    QTest::newRow("taken at the line's pace: all goes out") << true << QByteArray(50 << 10, 'c');
    QTest::newRow("held up: fails, none goes out later") << false << QByteArray("RD D100\r");
}

void TestSerialLine::output()
{
    // The bytes written ahead stand for the first part of a long command, in the driver's queue.
    QFETCH(bool, paced);
    QFETCH(QByteArray, command);
    plcsim::PseudoTerminal terminal;
    MSComm comm;
    comm.setDevicePath(QString::fromStdString(terminal.slavePath()));
    comm.setPortOpen(true);
    const qsizetype ahead = fill(terminal.slavePath());
    // Held up as by flow control: the terminal takes nothing more until it is let go.
    ::tcflow(comm.device().handle(), paced ? TCOON : TCOOFF);
    std::atomic<bool> done = false;
    QByteArray received;
    std::jthread device([&] {
        for (char chunk[2048]; paced && !done;) {
            std::this_thread::sleep_for(std::chrono::milliseconds(250));
            received.append(chunk, std::max<ssize_t>(::read(terminal.masterFd(), chunk, 2048), 0));
        }
    });
    const QString failure = failureText([&] { comm.setOutput(QString::fromLatin1(command)); });
    done = true;
    device.join();
    QVERIFY2(paced ? failure.isNull() : failure.contains("held up"), qPrintable(failure));

    ::tcflow(comm.device().handle(), TCOON);
    received += drain(terminal.masterFd());
    comm.setOutput("X");
    QTRY_VERIFY((received += drain(terminal.masterFd())).endsWith('X'));
    QCOMPARE(received.contains(command), paced);
    QCOMPARE(received.count('a') == ahead, paced);
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
