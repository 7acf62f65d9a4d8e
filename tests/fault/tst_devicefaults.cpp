#include "failure.h"
#include "mscomm.h"
#include "portlockfile.h"
#include "windowrig.h"

#include <QDir>
#include <QProcess>
#include <QSerialPort>
#include <QTemporaryDir>

#include <csignal>
#include <functional>
#include <unistd.h>

// Device faults, long runs and stop signals against the window, in process and as the shipped
// program, with a simulated controller on a pseudo-terminal; floods and stop signals against the
// simulator program. Runs under xvfb-run: the window program's Open Port is clicked with xdotool.

namespace
{

constexpr int kBound = 30000; // ms; waits end as soon as their condition holds

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

// The lock file of the simulated controller's device once its first line, as QLockFile writes
// it, names the process that has the port open.
QString lockFileOf(const SimulatedPlc &plc, qint64 pid)
{
    for (const QString &path :
         lockFileCandidates(QString::fromStdString(plc.terminal.slavePath()))) {
        QFile file(path);
        if (file.open(QIODevice::ReadOnly) && file.readLine().trimmed().toLongLong() == pid)
            return path;
    }
    return {};
}

// Clicks the window program's Open Port until the device's lock file is there; returns it.
QString openPort(const QProcess &window, const SimulatedPlc &plc)
{
    const QPoint at = vantrel().findChild<QPushButton *>("openPort")->geometry().center();
    // The second %1 is xdotool's: the window the search found.
    const QStringList click =
        QStringLiteral("search --onlyvisible --pid %1 --name . mousemove --window %2 %3 %4 click 1")
            .arg(QString::number(window.processId()), "%1", QString::number(at.x()),
                 QString::number(at.y()))
            .split(' ');
    QString lockFile;
    static_cast<void>(QTest::qWaitFor( // on a timeout lockFile stays empty
        [&] {
            QProcess::execute("xdotool", click); // fails, to be tried again, until the window shows
            return !(lockFile = lockFileOf(plc, window.processId())).isEmpty();
        },
        kBound));
    return lockFile;
}

} // namespace

using Options = plcsim::PlcOptions;
using Phase = plcsim::PlcOptions::Phase;
using Step = std::function<bool(WindowRig &)>;
using Measure = qint64 (*)();

class TestDeviceFaults : public QObject
{
    Q_OBJECT
private slots:
    void hangUp_data()
    {
        QTest::addColumn<Options>("options");
        QTest::newRow("mid-handshake") << Options{.hangupDuring = Phase::Handshake};
        QTest::newRow("mid-reply") << Options{.hangupDuring = Phase::Reply};
        QTest::newRow("idle, after a reply") << Options{.hangupAfter = 1};
    }

    void hangUp()
    {
        QFETCH(Options, options);
        WindowRig rig(options);
        rig.control<QLineEdit>("timeOutBox")->setText("15000"); // a hang-up must not wait for it
        if (options.hangupAfter == 1) {
            rig.send("RD");
            QVERIFY(QTest::qWaitFor([&] { return rig.plc.engine.hungUp(); }, kBound));
        }
        rig.send("RD"); // the failure comes at once, before anything more is logged
        const QString openAt = "COM 1: Open at 9600,N,8,1\r\n";
        QCOMPARE(rig.log(), options.hangupAfter ? openAt + "OK RD\r\n" : openAt);
        QVERIFY2(rig.failures.value(0).contains("went away"), qPrintable(rig.failures.value(0)));

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
        // The transcript grows by design up to its bound; held to a small one, it is full after
        // the first tenth and stays so, and any growth after that is a leak.
        rig.window.transcript.setKeptBytes(64 * 1024);
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
        QVERIFY(lockFile.open(QIODevice::WriteOnly));
        lockFile.write("4194305\nkilled\n"); // above the largest process id Linux hands out
        lockFile.close();
        const auto cleanUp = qScopeGuard([&] {
            QProcess::execute("chattr", {"-i", lockFile.fileName()});
            lockFile.remove();
        });
        if (QProcess::execute("chattr", {"+i", lockFile.fileName()}) != 0)
            QSKIP("cannot make the lock file undeletable here (needs root)");
        rig.click("openPort");
        const QString failure = rig.failures.value(0);
        QVERIFY2(failure.contains(lockFile.fileName() + " was left behind by process 4194305"),
                 qPrintable(failure));
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
        QProcess simulator;
        simulator.start(PLCSIM_PROGRAM);
        QVERIFY(QTest::qWaitFor([&] { return simulator.canReadLine(); }, kBound));
        QSerialPort line(simulator.readLine().trimmed());
        QVERIFY(line.open(QIODevice::ReadWrite));
        const QString pid = QString::number(simulator.processId());
        const qint64 before = residentKiB(pid);
        // Written while the replies are read: the simulator stops reading while they are not taken.
        line.write(input);
        qsizetype replied = 0;
        while (replied < replyBytes && line.waitForReadyRead(kBound))
            replied += line.readAll().size();
        QCOMPARE(replied, replyBytes);
        const qint64 growth = residentKiB(pid) - before;
        simulator.terminate();
        QVERIFY(simulator.waitForFinished(kBound));
        QVERIFY2(growth < 2048, qPrintable(QStringLiteral("grew by %1 KiB").arg(growth)));
        const qsizetype logBytes = simulator.readAllStandardError().size();
        QVERIFY2(logBytes < 32 * 1024, qPrintable(QStringLiteral("%1 log bytes").arg(logBytes)));
    }

    void stopSignal_data()
    {
        QTest::addColumn<bool>("window");
        QTest::addColumn<int>("signalNumber");
        for (const bool window : {true, false})
            for (const auto &[name, number] : {std::pair{"SIGTERM", SIGTERM},
                                               {"SIGINT", SIGINT},
                                               {"SIGHUP, as at logout", SIGHUP}})
                QTest::addRow("%s, %s", window ? "window" : "simulator", name) << window << number;
    }

    // A stop signal while the port is open ends the program with 128 plus the signal's number
    // and leaves nothing behind that would keep the next program out.
    void stopSignal()
    {
        QFETCH(bool, window);
        QFETCH(int, signalNumber);
        QTemporaryDir directory;
        QProcess program;
        SimulatedPlc plc; // for the window; the simulator program serves its own
        MSComm simulatorPeer;
        QString leftBehind; // what must go: the window's lock file, the simulator's link
        if (window) {
            program.start(QStringLiteral(VANTREL_PROGRAM));
            QVERIFY(!(leftBehind = openPort(program, plc)).isEmpty());
        } else {
            leftBehind = directory.filePath("com1");
            program.start(QStringLiteral(PLCSIM_PROGRAM), {"--link", leftBehind});
            QVERIFY(QTest::qWaitFor([&] { return program.canReadLine(); }, kBound));
            qputenv("VANTREL_COM1", leftBehind.toLocal8Bit());
            simulatorPeer.setPortOpen(true);
        }

        ::kill(static_cast<pid_t>(program.processId()), signalNumber);
        QVERIFY(program.waitForFinished(kBound));
        QCOMPARE(program.exitCode(), 128 + signalNumber); // a death by the signal gives the number
        QVERIFY2(!QFileInfo(leftBehind).exists() && !QFileInfo(leftBehind).isSymLink(),
                 qPrintable(leftBehind));
        // The device is released: the next vantrel opens it; the simulator's peer sees a hang-up.
        if (window)
            QVERIFY_THROWS_NO_EXCEPTION(MSComm().setPortOpen(true));
        else
            QVERIFY_THROWS_EXCEPTION(Failure, simulatorPeer.waitForInput(kBound));
    }
};

QTEST_MAIN(TestDeviceFaults)
#include "tst_devicefaults.moc"
