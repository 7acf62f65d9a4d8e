#include "faultrig.h"
#include "windowrig.h"

#include <QDir>
#include <QProcess>

#include <functional>
#include <unistd.h>

namespace
{

// Read from /proc: this process's resident memory and open descriptors.
qint64 residentKiB()
{
    QFile statm("/proc/self/statm"); // sizes in pages; the second is the resident one
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
// a pseudo-terminal.
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
            << 10000 << Measure(residentKiB) << qint64(512);
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
};

QTEST_MAIN(TestDeviceFaults)
#include "tst_devicefaults.moc"
