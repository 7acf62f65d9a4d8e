#include "faultrig.h"
#include "windowrig.h"

#include <QDir>
#include <QProcess>
#include <QTemporaryDir>

#include <fcntl.h>
#include <functional>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

namespace
{

// Read from /proc: a process's resident memory (this one's by default) and open descriptors.
qint64 residentKiB(const QString &process = "self")
{
    QFile statm("/proc/" + process + "/statm"); // sizes in pages; the second is the resident one
    statm.open(QIODevice::ReadOnly);
    return statm.readAll().split(' ').value(1).toLongLong() * ::sysconf(_SC_PAGESIZE) / 1024;
}

qint64 openDescriptors()
{
    return QDir("/proc/self/fd").entryList(QDir::System | QDir::NoDotAndDotDot).size();
}

} // namespace

using Options = plcsim::PlcOptions;
using Phase = plcsim::PlcOptions::Phase;
using Step = std::function<bool(WindowRig &)>;
using Measure = qint64 (*)();

// Device faults and long runs against the window, in process, with a simulated controller on
// a pseudo-terminal; and floods against the simulator program.
class TestDeviceFaults : public QObject
{
    Q_OBJECT
private slots:
    void hangUp_data()
    {
        QTest::addColumn<Options>("options");
        QTest::addColumn<QString>("logBeforeFailure");
        const QString openAt = "COM 1: Open at 9600,N,8,1\r\n";
        QTest::newRow("mid-handshake") << Options{.hangupDuring = Phase::Handshake} << openAt;
        QTest::newRow("mid-reply") << Options{.hangupDuring = Phase::Reply} << openAt;
        QTest::newRow("idle, after a reply") << Options{.hangupAfter = 1} << openAt + "OK RD\r\n";
    }

    void hangUp()
    {
        QFETCH(Options, options);
        QFETCH(QString, logBeforeFailure);
        WindowRig rig(options);
        rig.control<QLineEdit>("timeOutBox")->setText("15000"); // a hang-up must not wait for it
        if (options.hangupAfter == 1) {
            rig.send("RD");
            QVERIFY(QTest::qWaitFor([&] { return rig.plc.engine.hungUp(); }, kBound));
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
        QVERIFY2(rig.log().count("Open at") == 2 && rig.log().endsWith("OK RD\r\n"),
                 qPrintable(rig.log()));
    }

    void longRunStaysFlat_data()
    {
        QTest::addColumn<Step>("step");
        QTest::addColumn<int>("count");
        QTest::addColumn<Measure>("measure");
        QTest::addColumn<qint64>("allowedGrowth");
        QTest::newRow("exchanges, resident KiB")
            << Step([](WindowRig &rig) { return rig.window.sendCommand("RD D1") == "OK RD D1"; })
            << 10000 << Measure([] { return residentKiB(); }) << qint64(512);
        QTest::newRow("open and close, descriptors") << Step([](WindowRig &rig) {
            rig.click("openPort");
            const bool opened = rig.control<QPushButton>("closePort")->isEnabled();
            rig.click("closePort");
            return opened;
        }) << 1000 << Measure(openDescriptors) << qint64(0);
    }

    void longRunStaysFlat()
    {
        QFETCH(Step, step);
        QFETCH(int, count);
        QFETCH(Measure, measure);
        QFETCH(qint64, allowedGrowth);
#ifdef __SANITIZE_ADDRESS__
        if (allowedGrowth > 0)
            QSKIP("AddressSanitizer holds freed memory back; its leak check covers this build");
#endif
        WindowRig rig;
        for (int i = 0; i < count / 10; ++i) // allocator pools and caches settle first
            QVERIFY(step(rig));
        const qint64 before = measure();
        for (int i = count / 10; i < count; ++i)
            QVERIFY(step(rig));
        QVERIFY2(measure() - before <= allowedGrowth,
                 qPrintable(QStringLiteral("%1 -> %2").arg(before).arg(measure())));
    }

    void staleLockFileNamed()
    {
        // A killed program leaves its lock file behind. Root removes such a file on its own,
        // another user cannot; made undeletable here, the open must say what is wrong and where.
        WindowRig rig;
        rig.click("openPort");
        QFile lockFile(lockFileOf(rig.plc, QCoreApplication::applicationPid()));
        rig.click("closePort");
        QProcess gone;
        gone.start("true");
        const qint64 pid = gone.processId();
        QVERIFY(pid > 0 && gone.waitForFinished(kBound));
        QVERIFY(lockFile.open(QIODevice::WriteOnly));
        lockFile.write(QByteArray::number(pid) + "\nkilled\n");
        lockFile.close();
        const auto cleanUp = qScopeGuard([&] {
            QProcess::execute("chattr", {"-i", lockFile.fileName()});
            lockFile.remove();
        });
        if (QProcess::execute("chattr", {"+i", lockFile.fileName()}) != 0)
            QSKIP("cannot make the lock file undeletable here (needs root)");
        rig.click("openPort");
        QCOMPARE(rig.failures.size(), 1);
        QVERIFY2(rig.failures.first().contains("lock file " + lockFile.fileName()) &&
                     rig.failures.first().contains("no longer exists"),
                 qPrintable(rig.failures.first()));
    }

    void simulatorFlood_data()
    {
        QTest::addColumn<QByteArray>("input");
        QTest::addColumn<qsizetype>("replyBytes");
        // The first 64 KiB of a line are kept and answered ("OK " and CR around them).
        QTest::newRow("8 MiB line") << QByteArray(8 << 20, 'A') + '\r' << qsizetype(3 + 65536 + 1);
        QTest::newRow("20,000 commands")
            << QByteArray("A\r").repeated(20000) << qsizetype(5 * 20000);
    }

    void simulatorFlood()
    {
        QFETCH(QByteArray, input);
        QFETCH(qsizetype, replyBytes);
        QTemporaryDir directory;
        QProcess simulator;
        simulator.setStandardErrorFile(directory.filePath("log"));
        simulator.start(PLCSIM_PROGRAM);
        QVERIFY(QTest::qWaitFor([&] { return simulator.canReadLine(); }, kBound));
        const int fd =
            ::open(simulator.readLine().trimmed().constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        QVERIFY(fd >= 0);
        termios raw{};
        ::tcgetattr(fd, &raw);
        ::cfmakeraw(&raw);
        ::tcsetattr(fd, TCSANOW, &raw);
        const QString pid = QString::number(simulator.processId());
        const qint64 before = residentKiB(pid);

        // Write and read at once: the simulator stops reading while its replies are not taken.
        qsizetype written = 0, replied = 0;
        QByteArray reply(65536, '\0');
        for (QDeadlineTimer deadline(kBound); replied < replyBytes && !deadline.hasExpired();) {
            pollfd line{fd, short(POLLIN | (written < input.size() ? POLLOUT : 0)), 0};
            ::poll(&line, 1, int(deadline.remainingTime()));
            if (line.revents & POLLOUT)
                written += std::max<ssize_t>(
                    0, ::write(fd, input.constData() + written,
                               std::min<qsizetype>(input.size() - written, 4096)));
            if (line.revents & POLLIN)
                replied += std::max<ssize_t>(0, ::read(fd, reply.data(), reply.size()));
        }
        QCOMPARE(replied, replyBytes);
        const qint64 growth = residentKiB(pid) - before;
        ::close(fd);
        simulator.terminate();
        QVERIFY(simulator.waitForFinished(kBound));
        QVERIFY2(growth < 2048, qPrintable(QStringLiteral("grew by %1 KiB").arg(growth)));
        const qint64 logBytes = QFileInfo(directory.filePath("log")).size();
        QVERIFY2(logBytes < 32 * 1024, qPrintable(QStringLiteral("%1 log bytes").arg(logBytes)));
    }
};

QTEST_MAIN(TestDeviceFaults)
#include "tst_devicefaults.moc"
