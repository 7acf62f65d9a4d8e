#include "windowrig.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

namespace
{

// Read from /proc: a process's resident memory, this process's open descriptors.
qint64 residentKiB(qint64 pid)
{
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (QByteArray line = status.readLine(); !line.isEmpty(); line = status.readLine())
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').first().toLongLong();
    return -1;
}

qsizetype openDescriptors()
{
    return QDir(QStringLiteral("/proc/self/fd"))
        .entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot)
        .size();
}

} // namespace

using Options = plcsim::PlcOptions;
using Phase = plcsim::PlcOptions::Phase;

// Device faults and long runs against the window, in process, with a simulated controller on
// a pseudo-terminal; and floods against the simulator program.
class TestDeviceFaults : public QObject
{
    Q_OBJECT
private slots:
    void hangUp_data();
    void hangUp();
    void exchangesKeepMemoryFlat();
    void openCloseKeepsDescriptorsFlat();
    void simulatorFlood_data();
    void simulatorFlood();
};

void TestDeviceFaults::hangUp_data()
{
    QTest::addColumn<Options>("options");
    QTest::addColumn<QString>("logBeforeFailure");
    QTest::addColumn<QString>("nextReply");
    const QString openAt = "COM 1: Open at 9600,N,8,1\r\n";
    QTest::newRow("mid-handshake")
        << Options{.hangupDuring = Phase::Handshake} << openAt << "OK RD";
    // The half reply that came stays in front of the next one, as any unfinished input does.
    QTest::newRow("mid-reply") << Options{.hangupDuring = Phase::Reply} << openAt << "OK OK RD";
    QTest::newRow("idle, after a reply") << Options{.hangupAfter = 1} << openAt + "OK RD\r\n"
                                         << "OK RD";
}

void TestDeviceFaults::hangUp()
{
    QFETCH(Options, options);
    QFETCH(QString, logBeforeFailure);
    QFETCH(QString, nextReply);
    WindowRig rig(options);
    rig.control<QLineEdit>("timeOutBox")->setText("60000"); // a hang-up must not wait for it
    if (options.hangupAfter == 1) {
        rig.send("RD");
        QVERIFY(QTest::qWaitFor([&] { return rig.plc.engine.hungUp(); }, 10000));
    }
    rig.send("RD");
    QCOMPARE(rig.log(), logBeforeFailure);
    QCOMPARE(rig.failures.size(), 1);
    QVERIFY2(rig.failures.first().contains("went away"), qPrintable(rig.failures.first()));

    // The program goes on: the port closes, and opens again on another controller.
    rig.click("closePort");
    SimulatedPlc other;
    rig.send("RD");
    QCOMPARE(rig.failures.size(), 1);
    QCOMPARE(rig.log(), logBeforeFailure + "COM 1: Open at 9600,N,8,1\r\n" + nextReply + "\r\n");
}

void TestDeviceFaults::exchangesKeepMemoryFlat()
{
#ifdef __SANITIZE_ADDRESS__
    QSKIP("AddressSanitizer holds freed memory back; its leak check covers this build");
#endif
    WindowRig rig;
    const auto exchanges = [&](int count) {
        for (int i = 0; i < count; ++i)
            if (rig.window.sendCommand("RD D100") != "OK RD D100")
                return false;
        return true;
    };
    QVERIFY(exchanges(1000)); // allocator pools and caches settle first
    const qint64 before = residentKiB(::getpid());
    QVERIFY(exchanges(9000));
    QVERIFY2(
        residentKiB(::getpid()) - before < 512,
        qPrintable(QStringLiteral("%1 KiB -> %2 KiB").arg(before).arg(residentKiB(::getpid()))));
}

void TestDeviceFaults::openCloseKeepsDescriptorsFlat()
{
    WindowRig rig;
    const auto cycles = [&](int count) {
        for (int i = 0; i < count; ++i) {
            rig.click("openPort");
            rig.click("closePort");
        }
    };
    cycles(10);
    const qsizetype before = openDescriptors();
    cycles(990);
    QCOMPARE(openDescriptors(), before);
    QVERIFY(rig.failures.isEmpty());
    QCOMPARE(rig.log().count("Open at"), 1000);
}

void TestDeviceFaults::simulatorFlood_data()
{
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<qsizetype>("replyBytes");
    // The first 64 KiB of the line are kept and answered; the rest is dropped with a note.
    QTest::newRow("8 MiB line") << QByteArray(8 << 20, 'A') + '\r' << qsizetype(3 + 65536 + 1);
    QTest::newRow("20,000 commands") << QByteArray("A\r").repeated(20000) << qsizetype(5 * 20000);
}

void TestDeviceFaults::simulatorFlood()
{
    QFETCH(QByteArray, input);
    QFETCH(qsizetype, replyBytes);
    QTemporaryDir directory;
    const QString log = directory.filePath("log");
    QProcess simulator;
    simulator.setStandardErrorFile(log);
    simulator.start(QStringLiteral(PLCSIM_PROGRAM));
    QVERIFY(QTest::qWaitFor([&] { return simulator.canReadLine(); }, 10000));
    const int fd =
        ::open(simulator.readLine().trimmed().constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    QVERIFY(fd >= 0);
    termios raw{};
    ::tcgetattr(fd, &raw);
    ::cfmakeraw(&raw);
    ::tcsetattr(fd, TCSANOW, &raw);
    const qint64 rssBefore = residentKiB(simulator.processId());

    // Write and read at once: the simulator stops reading while its replies are not taken.
    qsizetype written = 0;
    qsizetype replied = 0;
    char buffer[65536];
    QDeadlineTimer deadline(20000);
    while (replied < replyBytes && !deadline.hasExpired()) {
        pollfd line{fd, short(POLLIN | (written < input.size() ? POLLOUT : 0)), 0};
        ::poll(&line, 1, int(deadline.remainingTime()));
        if (line.revents & POLLOUT)
            written +=
                std::max<ssize_t>(0, ::write(fd, input.constData() + written,
                                             std::min<qsizetype>(input.size() - written, 4096)));
        if (line.revents & POLLIN)
            replied += std::max<ssize_t>(0, ::read(fd, buffer, sizeof buffer));
    }
    QCOMPARE(replied, replyBytes);
    const qint64 growth = residentKiB(simulator.processId()) - rssBefore;
    ::close(fd);
    simulator.terminate();
    QVERIFY(simulator.waitForFinished(10000));
    QVERIFY2(growth < 2048, qPrintable(QStringLiteral("grew by %1 KiB").arg(growth)));
    const qint64 logBytes = QFileInfo(log).size();
    QVERIFY2(logBytes < 32 * 1024, qPrintable(QStringLiteral("%1 log bytes").arg(logBytes)));
}

QTEST_MAIN(TestDeviceFaults)
#include "tst_devicefaults.moc"
