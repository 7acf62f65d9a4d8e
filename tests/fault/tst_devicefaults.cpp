#include "failure.h"
#include "mscomm.h"
#include "ordinaryuser.h"
#include "portlockfile.h"
#include "windowrig.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QProcess>
#include <QSerialPort>
#include <QTemporaryDir>
#include <QTimer>

#include <atomic>
#include <chrono>
#include <thread>

#include <csignal>
#include <functional>
#include <termios.h>
#include <unistd.h>

// Long runs and stop signals against the window, in process and as the shipped
// program, with a simulated controller on a pseudo-terminal; floods and stop signals against the
// simulator program; lock files and permissions against vantrel-send. The programs run as an
// ordinary user (tests/tools/ordinaryuser.h). Runs under xvfb-run: the window program's Open
// Port is clicked with xdotool.

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

QString deviceOf(const SimulatedPlc &plc)
{
    return QString::fromStdString(plc.terminal.slavePath());
}

// The lock file of the simulated controller's device once its first line, as QLockFile writes
// it, names the process that has the port open.
QString lockFileOf(const SimulatedPlc &plc, qint64 pid)
{
    QFile file(lockFilePath(deviceOf(plc)));
    const bool names =
        file.open(QIODevice::ReadOnly) && file.readLine().trimmed().toLongLong() == pid;
    return names ? file.fileName() : QString();
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

using Step = std::function<bool(WindowRig &)>;
using Measure = qint64 (*)();
using Groups = OrdinaryUser::Groups;

enum class Program { Window, Simulator, SendAsItLocks };

// vantrel-send run through a link to the device, after someone put something in its way. In
// the commands and the message, $L stands for the lock file and $D for the device.
struct Opening {
    enum Who { Technician, Other, Root };
    Who planter = Other;
    QString plant;   // a shell command; the technician's runs just before vantrel-send starts
    QString message; // part of what vantrel-send says; empty: it opens the port and sends
    Who opener = Technician;
    Groups groups = Groups::Login;
    bool lockDirectoriesReadOnly = false;
};

class TestDeviceFaults : public QObject
{
    Q_OBJECT
private slots:
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

    // A controller that streams bytes without CR, for 10 s to the window and then to vantrel-send:
    // memory stays bounded, every exchange ends, and the idle window keeps answering.
    void controllerFlood()
    {
#ifdef __SANITIZE_ADDRESS__
        QSKIP("AddressSanitizer holds freed memory back; its leak check covers this build");
#endif
        WindowRig rig({.silent = true});
        std::atomic<qint64> watched = QCoreApplication::applicationPid();
        std::atomic<qint64> peakKiB = 0;
        std::jthread measure([&](std::stop_token stop) {
            for (; !stop.stop_requested();
                 std::this_thread::sleep_for(std::chrono::milliseconds(5)))
                peakKiB = std::max(peakKiB.load(), residentKiB(QString::number(watched)));
        });
        const QDeadlineTimer windowPart(10000);
        std::jthread controller([&](std::stop_token stop) {
            const std::string bytes(64 * 1024, 'A');
            while (!stop.stop_requested() && rig.plc.engine.send(bytes)) {
            }
        });
        const auto stopFlood = qScopeGuard([&] { rig.plc.engine.stop(); });
        rig.control<QLineEdit>("timeOutBox")->setText("3000");
        rig.send("@A"); // the reply passes 8 MiB at once
        rig.send("RD"); // the handshake waits 3 s
        QVERIFY(rig.log().endsWith("(Warning: No Response from PLC)\r\n"));
        while (!windowPart.hasExpired()) {
            bool answered = false;
            QTimer::singleShot(0, [&] { answered = true; });
            QVERIFY(QTest::qWaitFor([&] { return answered; }, 2000));
        }
        rig.click("closePort");
        const qint64 windowKiB = peakKiB;

        QProcess send;
        send.start(VANTREL_SEND, {"-t", "9000", "RD", "@A"});
        QVERIFY(send.waitForStarted(kBound));
        watched = send.processId();
        peakKiB = 0;
        QVERIFY(send.waitForFinished(kBound));
        measure.request_stop();
        QCOMPARE(send.exitCode(), 2);
        for (const QString &failure : {rig.failures.value(0), QString(send.readAllStandardError())})
            QVERIFY2(failure.contains("sent more than 8 MiB without a CR"), qPrintable(failure));
        QVERIFY2(windowKiB < 100 * 1024 && peakKiB < 100 * 1024,
                 qPrintable(QStringLiteral("%1, %2 KiB").arg(windowKiB).arg(peakKiB)));
    }

    void stopSignal_data()
    {
        QTest::addColumn<Program>("program");
        QTest::addColumn<int>("signalNumber");
        const std::pair<const char *, int> stops[]{
            {"SIGTERM", SIGTERM},          {"SIGINT", SIGINT},   {"SIGHUP, as at logout", SIGHUP},
            {"SIGQUIT, Ctrl-\\", SIGQUIT}, {"SIGUSR1", SIGUSR1}, {"SIGPIPE", SIGPIPE}};
        for (const auto &[name, number] : stops) {
            if (number != SIGPIPE) // the window has no pipe to lose
                QTest::addRow("window, %s", name) << Program::Window << number;
            if (number != SIGUSR1)
                QTest::addRow("simulator, %s", name) << Program::Simulator << number;
        }
        QTest::newRow("vantrel-send, SIGTERM between making its lock file and writing it")
            << Program::SendAsItLocks << SIGTERM;
    }

    // A stop signal while the port is open ends the program with 128 plus the signal's number
    // and leaves nothing behind that would keep the technician's next program out.
    void stopSignal()
    {
        QFETCH(Program, program);
        QFETCH(int, signalNumber);
        const OrdinaryUser technician = OrdinaryUser::technician();
        QTemporaryDir directory;
        QFile::setPermissions(directory.path(), QFile::Permissions(0x7777));
        QProcess running;
        SimulatedPlc plc; // for the window and vantrel-send; the simulator program serves its own
        const QString device = deviceOf(plc);
        technician.handOver(device);
        termios before = {};
        ::tcgetattr(plc.terminal.masterFd(), &before);
        // Another user's named pipe at the lock file's name in /tmp, where the handler once
        // looked as well, and hung.
        const QString pipe = "/tmp/" + lockFileName(device);
        if (const auto other = OrdinaryUser::other())
            QCOMPARE(other->run("mkfifo " + pipe), 0);
        const auto removePipe = qScopeGuard([&] { QFile::remove(pipe); });
        MSComm simulatorPeer;
        QString leftBehind; // what must go: the lock file, the simulator's link
        if (program == Program::Window) {
            technician.start(running, QStringLiteral(VANTREL_PROGRAM));
            QVERIFY(!(leftBehind = openPort(running, plc)).isEmpty());
        } else if (program == Program::Simulator) {
            leftBehind = directory.filePath("com1");
            technician.start(running, QStringLiteral(PLCSIM_PROGRAM), {"--link", leftBehind});
            QVERIFY(QTest::qWaitFor([&] { return running.canReadLine(); }, kBound));
            qputenv("VANTREL_COM1", leftBehind.toLocal8Bit());
            simulatorPeer.setPortOpen(true);
        } else { // strace sends the signal as QLockFile locks the file it has just made
            leftBehind = lockFilePath(device);
            const QString inject =
                QStringLiteral("inject=flock:signal=%1:when=1").arg(signalNumber);
            running.start("strace",
                          QStringList{"-o", "/dev/null", "-e", "trace=flock", "-e", inject} +
                              technician.command({VANTREL_SEND, "-p", device, "RD"}));
        }
        if (program != Program::SendAsItLocks)
            ::kill(static_cast<pid_t>(running.processId()), signalNumber);
        QVERIFY(running.waitForFinished(kBound));
        QCOMPARE(running.exitCode(), 128 + signalNumber); // a death by the signal gives the number
        QVERIFY2(!QFileInfo(leftBehind).exists() && !QFileInfo(leftBehind).isSymLink(),
                 qPrintable(leftBehind));
        if (program == Program::Simulator) { // its peer sees a hang-up
            QVERIFY_THROWS_EXCEPTION(Failure, simulatorPeer.waitForInput(kBound));
            return;
        }
        // The device has its settings back and is no longer exclusive: the next program opens it.
        termios after = {};
        ::tcgetattr(plc.terminal.masterFd(), &after);
        QCOMPARE(::cfgetospeed(&after), ::cfgetospeed(&before));
        QProcess next;
        next.setProcessChannelMode(QProcess::MergedChannels);
        technician.start(next, VANTREL_SEND, {"-p", device, "RD"});
        QVERIFY(next.waitForFinished(kBound));
        QCOMPARE(next.readAll(), "OK RD\n");
    }

    void openAsTechnician_data()
    {
        QTest::addColumn<Opening>("opening");
        const QString pid = QString::number(QCoreApplication::applicationPid());
        QFile comm("/proc/self/comm");
        comm.open(QIODevice::ReadOnly);
        const QString self = QString::fromLocal8Bit(comm.readAll().trimmed());
        const auto row = [](const char *name, const Opening &opening) {
            QTest::newRow(name) << opening;
        };
        const QString otherLeft = ", and you may not remove it. Ask an administrator to remove "
                                  "it (sudo rm $L), then open the port again.";
        // clang-format off
        row("a named pipe where the lock file goes: refused, not waited on", {Opening::Other, "mkfifo $L", "$L stands where its lock file goes, and it is a named pipe, not a lock file"});
        row("another user's garbage", {Opening::Other, "echo garbage >$L", "the lock file $L does not name a process" + otherLeft});
        row("another user's empty file", {Opening::Other, ": >$L", "the lock file $L is empty" + otherLeft});
        row("its process gone", {Opening::Other, "echo 4194305 >$L", "the lock file $L was left behind by process 4194305, which no longer exists" + otherLeft});
        row("its process id now another program's", {Opening::Other, "printf '" + pid + "\\nvantrel\\n' >$L", "the lock file $L names process " + pid + ", which is now " + self + ", not vantrel that made it" + otherLeft});
        row("a running holder, named", {Opening::Other, "printf '%10d\\n' " + pid + " >$L", "is in use by " + self + ", process " + pid + ". Close that program"});
        row("its own process id, left by another program: opened", {Opening::Technician, "printf '%d\\nvantrel-send\\n' $$ >$L", {}});
        row("root, a file no one may remove", {Opening::Root, "echo 4194305 >$L && chattr +i $L", "was left behind by process 4194305, which no longer exists, and it cannot be removed (Operation not permitted). Remove it by hand (rm $L)", Opening::Root});
        row("no lock directory that may be written", {Opening::Root, {}, "there is no lock directory you may write to (/var/lock, ", Opening::Technician, Groups::Login, true});
        row("the device in a group the user is not in", {Opening::Root, "chgrp uucp $D", "permission denied. $D belongs to user root and group uucp, with mode rw-rw----. You (vantrel-tech) are not in group uucp: add your user to it (sudo usermod -aG uucp vantrel-tech), then log out and in again."});
        row("added to dialout after logging in", {Opening::Root, {}, "$D belongs to user root and group dialout, with mode rw-rw----. You (vantrel-tech) were added to group dialout after you logged in: log out and in again", Opening::Technician, Groups::None});
        row("the device root's alone", {Opening::Root, "chmod 600 $D", "$D belongs to user root and group dialout, with mode rw-------: only root may use it, and joining a group does not help."});
        // clang-format on
    }

    // vantrel-send, run as the technician through a link to the device (as through
    // /dev/serial/by-id), tells what keeps the port from opening: the lock file is the
    // device's, and nothing in a lock directory makes it wait.
    void openAsTechnician()
    {
        QFETCH(Opening, opening);
        const OrdinaryUser technician = OrdinaryUser::technician();
        const OrdinaryUser root{"root", 0, 0, false};
        const std::optional<OrdinaryUser> other = OrdinaryUser::other();
        if (!technician.switched && opening.planter != Opening::Technician)
            QSKIP("needs root: another user plants the file, or the system is changed");
        if (opening.lockDirectoriesReadOnly && QProcess::execute("unshare", {"-m", "true"}) != 0)
            QSKIP("cannot mount in a namespace of its own here");
        const OrdinaryUser &planter = opening.planter == Opening::Other ? *other : root;
        SimulatedPlc plc;
        const QString device = deviceOf(plc);
        const QString lockFile = lockFilePath(device);
        technician.handOver(device);
        // Outside /tmp, which a row hides.
        QTemporaryDir links(QDir::currentPath() + "/links-XXXXXX");
        QFile::setPermissions(links.path(), QFile::Permissions(0x7755));
        const QString link = links.filePath("usb-adapter");
        QVERIFY(QFile::link(device, link));
        const QString names = QStringLiteral("L=%1 D=%2; ").arg(lockFile, device);
        const auto clear = [&] { root.run(names + "chattr -i $L 2>/dev/null; rm -f $L"); };
        clear(); // a program a failed row left hanging may have left its file
        const auto cleanUp = qScopeGuard(clear);
        if (opening.planter != Opening::Technician && !opening.plant.isEmpty() &&
            planter.run(names + opening.plant) != 0)
            QSKIP("cannot put the file in place here");
        const QString prelude = opening.planter == Opening::Technician ? opening.plant + "; " : "";
        QStringList line = (opening.opener == Opening::Root ? root : technician)
                               .command({"sh", "-c", names + prelude + "exec \"$0\" \"$@\"",
                                         VANTREL_SEND, "-p", link, "RD"},
                                        opening.groups);
        if (opening.lockDirectoriesReadOnly)
            line = QStringList{"unshare", "-m", "sh", "-c",
                               "for d in /run/lock /tmp /var/tmp; do mount -t tmpfs -o ro x $d; "
                               "done; exec \"$0\" \"$@\""} +
                   line;
        QProcess run;
        run.setProcessChannelMode(QProcess::MergedChannels);
        run.start(line.first(), line.mid(1));
        QVERIFY(run.waitForFinished(kBound)); // a named pipe read would never end
        const QString said = QString::fromUtf8(run.readAll());
        if (opening.message.isEmpty()) {
            QCOMPARE(said, "OK RD\n");
            QVERIFY(!QFileInfo::exists(lockFile));
            return;
        }
        const QString message =
            QString(opening.message).replace("$L", lockFile).replace("$D", device);
        QVERIFY2(said.contains(message), qPrintable(said));
        QCOMPARE(run.exitCode(), 2);
    }
};

QTEST_MAIN(TestDeviceFaults)
#include "tst_devicefaults.moc"
