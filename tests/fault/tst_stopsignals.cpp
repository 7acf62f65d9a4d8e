#include "failure.h"
#include "mscomm.h"
#include "portlockfile.h"
#include "simulatedplc.h"
#include "vantrel.h"

#include <QFileInfo>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <unistd.h>

// A stop signal while the port is open, to the window program and to the simulator: each ends
// with 128 plus the signal's number and leaves nothing behind that would keep the next program
// out. Runs under xvfb-run: the window program is the shipped one, its Open Port clicked with
// xdotool.

namespace
{

constexpr int kBound = 10000; // ms; every wait below is for a condition, bounded by this

QByteArray run(const QString &program, const QStringList &arguments)
{
    QProcess process;
    process.start(program, arguments);
    process.waitForFinished(kBound);
    return process.readAllStandardOutput().trimmed();
}

// The window program with COM1 mapped to a simulated controller, its port opened by a click.
struct WindowProgram {
    WindowProgram()
    {
        process.start(QStringLiteral(VANTREL_PROGRAM));
        process.waitForStarted(kBound);
    }
    ~WindowProgram()
    {
        process.kill();
        process.waitForFinished(kBound);
    }

    // Clicks until the program's lock file for the device is there: the port is open.
    bool openPort()
    {
        const QByteArray window = run("xdotool", {"search", "--sync", "--onlyvisible", "--pid",
                                                  QString::number(process.processId())})
                                      .split('\n')
                                      .first();
        vantrel sameLayout;
        const QPoint button = sameLayout.findChild<QPushButton *>("openPort")->geometry().center();
        for (int attempt = 0; attempt < 5; ++attempt) {
            run("xdotool", {"mousemove", "--window", window, QString::number(button.x()),
                            QString::number(button.y()), "click", "1"});
            if (QTest::qWaitFor([&] { return !lockFile().isEmpty(); }, kBound / 5))
                return true;
        }
        return false;
    }
    // The device's lock file that names the program, as QLockFile does on its first line.
    QString lockFile() const
    {
        for (const QString &candidate :
             lockFileCandidates(QString::fromStdString(plc.terminal.slavePath()))) {
            QFile file(candidate);
            if (file.open(QIODevice::ReadOnly) &&
                file.readLine().trimmed().toLongLong() == process.processId())
                return candidate;
        }
        return {};
    }

    SimulatedPlc plc;
    QProcess process;
};

} // namespace

class TestStopSignals : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void window_data();
    void window();
    void simulator_data();
    void simulator();
    void killedHard();
};

void TestStopSignals::initTestCase()
{
    if (qEnvironmentVariableIsEmpty("DISPLAY"))
        QSKIP("needs an X server for the window program: run under xvfb-run");
}

void TestStopSignals::window_data()
{
    QTest::addColumn<int>("signalNumber");
    QTest::newRow("SIGTERM") << SIGTERM;
    QTest::newRow("SIGINT") << SIGINT;
    QTest::newRow("SIGHUP, as at logout") << SIGHUP;
}

void TestStopSignals::window()
{
    QFETCH(int, signalNumber);
    WindowProgram program;
    QVERIFY(program.openPort());
    const QString lockFile = program.lockFile();

    ::kill(static_cast<pid_t>(program.process.processId()), signalNumber);
    QVERIFY(program.process.waitForFinished(kBound));
    QCOMPARE(program.process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(program.process.exitCode(), 128 + signalNumber);
    QVERIFY2(!QFileInfo::exists(lockFile), qPrintable(lockFile));
    // The device is free for the next vantrel.
    MSComm next;
    next.setPortOpen(true);
    QVERIFY(next.PortOpen());
}

void TestStopSignals::simulator_data()
{
    window_data();
}

void TestStopSignals::simulator()
{
    QFETCH(int, signalNumber);
    QTemporaryDir directory;
    const QString link = directory.filePath("com1");
    QProcess simulator;
    simulator.start(QStringLiteral(PLCSIM_PROGRAM), {"--link", link});
    QVERIFY(QTest::qWaitFor([&] { return simulator.canReadLine(); }, kBound));
    qputenv("VANTREL_COM1", link.toLocal8Bit());
    MSComm tool;
    tool.setPortOpen(true);

    ::kill(static_cast<pid_t>(simulator.processId()), signalNumber);
    QVERIFY(simulator.waitForFinished(kBound));
    QCOMPARE(simulator.exitStatus(), QProcess::NormalExit);
    QCOMPARE(simulator.exitCode(), 128 + signalNumber);
    QVERIFY(!QFileInfo(link).isSymLink());
    // The tool's side sees the line hang up.
    QVERIFY_THROWS_EXCEPTION(Failure, tool.waitForInput(kBound));
}

void TestStopSignals::killedHard()
{
    // SIGKILL leaves the lock file behind. Root removes such a file on its own, another user
    // cannot; made undeletable here, the next open must say what is wrong and where.
    WindowProgram program;
    QVERIFY(program.openPort());
    const QString lockFile = program.lockFile();
    program.process.kill();
    QVERIFY(program.process.waitForFinished(kBound));
    QVERIFY(QFileInfo::exists(lockFile));

    const int fd = ::open(QFile::encodeName(lockFile).constData(), O_RDONLY);
    int flags = 0;
    const bool immutable = fd >= 0 && ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0 &&
                           (flags |= FS_IMMUTABLE_FL, ::ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0);
    const auto cleanUp = qScopeGuard([&] {
        flags &= ~FS_IMMUTABLE_FL;
        ::ioctl(fd, FS_IOC_SETFLAGS, &flags);
        ::close(fd);
        QFile::remove(lockFile);
    });
    if (!immutable)
        QSKIP("cannot make the lock file undeletable here (needs root)");

    MSComm next;
    try {
        next.setPortOpen(true);
        QFAIL("opened past a lock file it could not remove");
    } catch (const Failure &failure) {
        QVERIFY2(failure.message().contains("lock file " + lockFile) &&
                     failure.message().contains("no longer exists"),
                 qPrintable(failure.message()));
    }
}

QTEST_MAIN(TestStopSignals)
#include "tst_stopsignals.moc"
