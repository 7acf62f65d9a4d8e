#include "ordinaryuser.h"
#include "portlockfile.h"
#include "windowrig.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QSerialPort>
#include <QTemporaryDir>

#include <csignal>
#include <sys/resource.h>
#include <termios.h>
#include <thread>

// A flooding controller and long runs against the window in process; stop signals against the
// window program and the simulator program, some rows after a flood; lock files, permissions and
// a stop as it locks against vantrel-send. The programs run as an ordinary user
// (tests/tools/ordinaryuser.h), each with a simulated controller on a pseudo-terminal. Runs under
// xvfb-run: the window program's Open Port is clicked with xdotool.

namespace
{

constexpr int kBound = 30000; // ms; waits end as soon as their condition holds

// A process's resident memory, read from /proc: the second of the sizes there, in pages.
qint64 residentKiB(qint64 pid)
{
    QFile statm(QStringLiteral("/proc/%1/statm").arg(pid));
    statm.open(QIODevice::ReadOnly);
    return statm.readAll().split(' ').value(1).toLongLong() * ::sysconf(_SC_PAGESIZE) / 1024;
}

// Runs a command line to its end: what it wrote on both channels, and its exit status.
std::pair<QString, int> outcome(const QStringList &line)
{
    QProcess run;
    run.setProcessChannelMode(QProcess::MergedChannels);
    run.start(line.first(), line.mid(1));
    const bool ended = run.waitForFinished(kBound); // a named pipe read would never end
    return {QString::fromUtf8(run.readAll()), ended ? run.exitCode() : -1};
}

// Clicks the window program's Open Port until the device's lock file names the program.
bool openPort(const QProcess &window, const QString &device)
{
    const QPoint at = vantrel().findChild<QPushButton *>("openPort")->geometry().center();
    // The second %1 is xdotool's: the window the search found.
    const QStringList click =
        QStringLiteral("search --onlyvisible --pid %1 --name . mousemove --window %2 %3 %4 click 1")
            .arg(QString::number(window.processId()), "%1", QString::number(at.x()),
                 QString::number(at.y()))
            .split(' ');
    return QTest::qWaitFor(
        [&] {
            QProcess::execute("xdotool", click); // fails, to be tried again, until the window shows
            QFile lockFile(lockFilePath(device)); // its first line, as QLockFile writes it
            return lockFile.open(QIODevice::ReadOnly) &&
                   lockFile.readLine().trimmed().toLongLong() == window.processId();
        },
        kBound);
}

} // namespace

using Groups = OrdinaryUser::Groups;

// vantrel-send run through a link to the device, after someone put something in its way. In
// the commands and the message, $L stands for the lock file and $D for the device.
struct Opening {
    enum Who { Technician, Other, Root };
    Who planter = Other;
    QString plant; // a shell command; the technician's runs just before vantrel-send starts
    QString said;  // a failure (status 2): part of what vantrel-send says; else all of it
    int status = 2;
    Who opener = Technician;
    Groups groups = Groups::Login;
    QStringList wrapper = {}; // what vantrel-send runs under
};

class TestDeviceFaults : public QObject
{
    Q_OBJECT
private slots:
    // A controller that streams bytes without CR, for 10 s to the window and then to
    // vantrel-send: every exchange ends, the idle window keeps answering, and the peak memory of
    // this process and of its children (vantrel-send alone: this test runs first) stays bounded.
    void controllerFlood()
    {
#ifdef __SANITIZE_ADDRESS__
        QSKIP("AddressSanitizer holds freed memory back; its leak check covers this build");
#endif
        // Its ENQ answer, were there one, could arrive alone between two floods and let "RD" out.
        WindowRig rig({.answerEnq = false, .silent = true});
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
        QVERIFY2(rig.log().endsWith("(Warning: No Response from PLC)\r\n"),
                 qPrintable(rig.log().right(80) + " | " + rig.failures.join(" | ")));
        while (!windowPart.hasExpired()) {
            bool answered = false;
            QTimer::singleShot(0, [&] { answered = true; });
            QVERIFY(QTest::qWaitFor([&] { return answered; }, 2000));
        }
        rig.click("closePort");
        const auto [said, status] = outcome({VANTREL_SEND, "-t", "9000", "RD", "@A"});
        QCOMPARE(status, 2);
        for (const QString &failure : {rig.failures.value(0), said})
            QVERIFY2(failure.contains("sent more than 8 MiB without a CR"), qPrintable(failure));
        // The peaks in KiB: the window's, and vantrel-send's.
        for (const int who : {RUSAGE_SELF, RUSAGE_CHILDREN}) {
            rusage peak = {};
            ::getrusage(who, &peak);
            QVERIFY2(peak.ru_maxrss < 100 * 1024, qPrintable(QString::number(peak.ru_maxrss)));
        }
    }

    // 1,000 opens and closes leave the descriptors as they were, 10,000 exchanges the resident
    // memory, each counted once the first tenth has let allocator pools and caches settle.
    void longRunsStayFlat()
    {
        WindowRig rig;
        // The transcript grows by design up to its bound; held to a small one, it is full after
        // the first tenth and stays so, and any growth after that is a leak.
        rig.window.transcript.setKeptBytes(64 * 1024);
        const auto growth = [](int count, auto step, auto measure) -> qint64 {
            qint64 before = 0;
            for (int i = 0; i < count; ++i) {
                if (i == count / 10)
                    before = measure();
                if (!step())
                    return -1;
            }
            return measure() - before;
        };
        const auto openAndClose = [&] {
            rig.click("openPort");
            const bool opened = rig.control<QPushButton>("closePort")->isEnabled();
            rig.click("closePort");
            return opened;
        };
        const auto descriptors = [] {
            return QDir("/proc/self/fd").entryList(QDir::System).size();
        };
        QCOMPARE(growth(1000, openAndClose, descriptors), 0);
#ifndef __SANITIZE_ADDRESS__ // it holds freed memory back; its leak check covers that build
        const auto exchange = [&] { return rig.window.sendCommand("RD D1") == "OK RD D1"; };
        const auto resident = [] { return residentKiB(QCoreApplication::applicationPid()); };
        const qint64 grown = growth(10000, exchange, resident);
        QVERIFY2(grown >= 0 && grown <= 512, qPrintable(QStringLiteral("%1 KiB").arg(grown)));
#endif
    }

    void stopSignal_data()
    {
        QTest::addColumn<QString>("program");
        QTest::addColumn<int>("signalNumber");
        QTest::addColumn<QByteArray>("flood"); // what the simulator gets first
        QTest::addColumn<int>("replyBytes");   // and answers
        const QString window = VANTREL_PROGRAM, simulator = PLCSIM_PROGRAM;
        const std::pair<const char *, int> stops[]{
            {"SIGTERM", SIGTERM},          {"SIGINT", SIGINT},   {"SIGHUP, as at logout", SIGHUP},
            {"SIGQUIT, Ctrl-\\", SIGQUIT}, {"SIGUSR1", SIGUSR1}, {"SIGPIPE", SIGPIPE}};
        for (const auto &[name, number] : stops) {
            if (number != SIGPIPE) // the window has no pipe to lose
                QTest::addRow("window, %s", name) << window << number << QByteArray() << 0;
            if (number != SIGUSR1)
                QTest::addRow("simulator, %s", name) << simulator << number << QByteArray() << 0;
        }
        // The simulator keeps and answers the first 64 KiB of a line ("OK " and CR around them).
        QTest::newRow("simulator, SIGTERM after an 8 MiB line")
            << simulator << SIGTERM << QByteArray(8 << 20, 'A') + '\r' << 3 + 65536 + 1;
        QTest::newRow("simulator, SIGTERM after 20,000 commands")
            << simulator << SIGTERM << QByteArray("A\r").repeated(20000) << 5 * 20000;
    }

    // A stop signal while the port is open ends the program with 128 plus the signal's number
    // and leaves nothing behind that would keep the technician's next program out. The
    // simulator's memory and log stay bounded under a flood before it.
    void stopSignal()
    {
        QFETCH(QString, program);
        QFETCH(int, signalNumber);
        QFETCH(QByteArray, flood);
        QFETCH(int, replyBytes);
        const OrdinaryUser technician = OrdinaryUser::technician();
        SimulatedPlc plc; // for the window; the simulator program serves its own
        const QString device = QString::fromStdString(plc.terminal.slavePath());
        technician.handOver(device);
        termios before = {};
        ::tcgetattr(plc.terminal.masterFd(), &before);
        // Another user's named pipe at the lock file's name in /tmp, where the handler once
        // looked as well, and hung.
        const QString pipe = "/tmp/" + lockFileName(device);
        if (const auto other = OrdinaryUser::other())
            QCOMPARE(other->run("mkfifo " + pipe), 0);
        const auto removePipe = qScopeGuard([&] { QFile::remove(pipe); });
        QTemporaryDir directory;
        QFile::setPermissions(directory.path(), QFile::Permissions(0x7777));
        // What must go: the window's lock file, the simulator's link.
        const bool window = program == VANTREL_PROGRAM;
        const QString leftBehind = window ? lockFilePath(device) : directory.filePath("com1");
        QProcess running;
        technician.start(running, program,
                         window ? QStringList() : QStringList{"--link", leftBehind});
        QSerialPort peer(leftBehind); // the simulator's
        qint64 growth = 0;            // its resident memory under the flood
        if (window) {
            QVERIFY(openPort(running, device));
        } else {
            QVERIFY(QTest::qWaitFor([&] { return running.canReadLine(); }, kBound));
            QVERIFY(peer.open(QIODevice::ReadWrite));
            const qint64 before = residentKiB(running.processId());
            // Written while the replies are read: the simulator stops reading while they are
            // not taken.
            peer.write(flood);
            int replied = 0;
            while (replied < replyBytes && peer.waitForReadyRead(kBound))
                replied += peer.readAll().size();
            QCOMPARE(replied, replyBytes);
            growth = residentKiB(running.processId()) - before;
        }
        ::kill(static_cast<pid_t>(running.processId()), signalNumber);
        QVERIFY(running.waitForFinished(kBound));
        QCOMPARE(running.exitCode(), 128 + signalNumber); // a death by the signal gives the number
        QVERIFY2(!QFileInfo(leftBehind).exists() && !QFileInfo(leftBehind).isSymLink(),
                 qPrintable(leftBehind));
        if (!window) { // its peer sees a hang-up; its memory and log stayed small
            QVERIFY(!peer.waitForReadyRead(kBound) && peer.error() != QSerialPort::TimeoutError);
            const qsizetype logBytes = running.readAllStandardError().size();
            QVERIFY2(growth < 2048 && logBytes < 32 * 1024,
                     qPrintable(
                         QStringLiteral("grew by %1 KiB, %2 log bytes").arg(growth).arg(logBytes)));
            return;
        }
        // The device has its settings back and is no longer exclusive: the next program opens it.
        termios after = {};
        ::tcgetattr(plc.terminal.masterFd(), &after);
        QCOMPARE(::cfgetospeed(&after), ::cfgetospeed(&before));
        QCOMPARE(outcome(technician.command({VANTREL_SEND, "-p", device, "RD"})),
                 std::pair(QString("OK RD\n"), 0));
    }

    void openAsTechnician_data()
    {
        QTest::addColumn<Opening>("opening");
        const QString pid = QString::number(QCoreApplication::applicationPid());
        // The kernel keeps 15 bytes of a program's name.
        const QString self = QCoreApplication::applicationName().left(15);
        const QString otherLeft = ", and you may not remove it. Ask an administrator to remove "
                                  "it (sudo rm $L), then open the port again.";
        // clang-format off
        const QStringList readOnlyLockDirectories{"unshare", "-m", "sh", "-c", "for d in /run/lock /tmp /var/tmp; do mount --bind $d $d && mount -o remount,bind,ro $d; done; exec \"$0\" \"$@\""};
        // strace sends the signal as QLockFile locks the file it has just made.
        const QStringList stoppedAsItLocks = QString("strace -o /dev/null -e trace=flock -e inject=flock:signal=SIGTERM:when=1").split(' ');
        QTest::newRow("a named pipe where the lock file goes: refused, not waited on") << Opening{Opening::Other, "mkfifo $L", "$L stands where its lock file goes, and it is a named pipe, not a lock file"};
        QTest::newRow("another user's garbage") << Opening{Opening::Other, "echo garbage >$L", "the lock file $L does not name a process" + otherLeft};
        QTest::newRow("another user's empty file") << Opening{Opening::Other, ": >$L", "the lock file $L is empty" + otherLeft};
        QTest::newRow("its process gone") << Opening{Opening::Other, "echo 4194305 >$L", "the lock file $L was left behind by process 4194305, which no longer exists" + otherLeft};
        QTest::newRow("its process id now another program's") << Opening{Opening::Other, "printf '" + pid + "\\nvantrel\\n' >$L", "the lock file $L names process " + pid + ", which is now " + self + ", not vantrel that made it" + otherLeft};
        QTest::newRow("a running holder, named") << Opening{Opening::Other, "printf '%10d\\n' " + pid + " >$L", "is in use by " + self + ", process " + pid + ". Close that program"};
        QTest::newRow("its own process id, left by another program: opened") << Opening{Opening::Technician, "printf '%d\\nvantrel-send\\n' $$ >$L", "OK RD\n", 0};
        QTest::newRow("root, a file no one may remove") << Opening{Opening::Root, "echo 4194305 >$L && chattr +i $L", "was left behind by process 4194305, which no longer exists, and it cannot be removed (Operation not permitted). Remove it by hand (rm $L)", 2, Opening::Root};
        QTest::newRow("no lock directory that may be written") << Opening{Opening::Root, {}, "there is no lock directory you may write to (/var/lock, ", 2, Opening::Technician, Groups::Login, readOnlyLockDirectories};
        QTest::newRow("the device in a group the user is not in") << Opening{Opening::Root, "chgrp uucp $D", "permission denied. $D belongs to user root and group uucp, with mode rw-rw----. You (vantrel-tech) are not in group uucp: add your user to it (sudo usermod -aG uucp vantrel-tech), then log out and in again."};
        QTest::newRow("added to dialout after logging in") << Opening{Opening::Root, {}, "$D belongs to user root and group dialout, with mode rw-rw----. You (vantrel-tech) were added to group dialout after you logged in: log out and in again", 2, Opening::Technician, Groups::None};
        QTest::newRow("the device root's alone") << Opening{Opening::Root, "chmod 600 $D", "$D belongs to user root and group dialout, with mode rw-------: only root may use it, and joining a group does not help."};
        QTest::newRow("SIGTERM between making its lock file and writing it: no file left") << Opening{Opening::Technician, {}, {}, 128 + SIGTERM, Opening::Technician, Groups::Login, stoppedAsItLocks};
        // clang-format on
    }

    // vantrel-send, run as the technician through a link to the device (as through
    // /dev/serial/by-id), tells what keeps the port from opening: the lock file is the
    // device's, and nothing in a lock directory makes it wait. What it leaves behind, if it ends
    // otherwise, the next program can remove.
    void openAsTechnician()
    {
        QFETCH(Opening, opening);
        const OrdinaryUser technician = OrdinaryUser::technician();
        const OrdinaryUser root{"root", 0, 0, false};
        if (!technician.switched && opening.planter != Opening::Technician)
            QSKIP("needs root: another user plants the file, or the system is changed");
        if (opening.wrapper.startsWith("unshare") && QProcess::execute("unshare", {"-m", "true"}))
            QSKIP("cannot mount in a namespace of its own here");
        SimulatedPlc plc;
        const QString device = QString::fromStdString(plc.terminal.slavePath());
        const QString lockFile = lockFilePath(device);
        technician.handOver(device);
        QTemporaryDir links(QDir::currentPath() + "/links-XXXXXX");
        QFile::setPermissions(links.path(), QFile::Permissions(0x7755));
        const QString link = links.filePath("usb-adapter");
        QVERIFY(QFile::link(device, link));
        const QString names = QStringLiteral("L=%1 D=%2; ").arg(lockFile, device);
        const auto clear = [&] { root.run(names + "chattr -i $L 2>/dev/null; rm -f $L"); };
        clear(); // a program a failed row left hanging may have left its file
        const auto cleanUp = qScopeGuard(clear);
        if (opening.planter != Opening::Technician && !opening.plant.isEmpty() &&
            (opening.planter == Opening::Other ? *OrdinaryUser::other() : root)
                    .run(names + opening.plant) != 0)
            QSKIP("cannot put the file in place here");
        const QString prelude = opening.planter == Opening::Technician ? opening.plant + "\n" : "";
        const auto [out, status] = outcome(
            opening.wrapper + (opening.opener == Opening::Root ? root : technician)
                                  .command({"sh", "-c", names + prelude + "exec \"$0\" \"$@\"",
                                            VANTREL_SEND, "-p", link, "RD"},
                                           opening.groups));
        opening.said.replace("$L", lockFile).replace("$D", device);
        QVERIFY2(status == 2 ? out.contains(opening.said) : out == opening.said, qPrintable(out));
        QCOMPARE(status, opening.status);
        QVERIFY(status == 2 || !QFileInfo::exists(lockFile));
    }
};

QTEST_MAIN(TestDeviceFaults)
#include "tst_devicefaults.moc"
