#include "failure.h"
#include "faultrig.h"
#include "mscomm.h"
#include "vantrel.h"

#include <QFileInfo>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>

// A stop signal while the port is open, to the window program and to the simulator: each ends
// with 128 plus the signal's number and leaves nothing behind that would keep the next program
// out. Runs under xvfb-run: the window program is the shipped one, its Open Port clicked with
// xdotool.

namespace
{

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
    const bool opened = QTest::qWaitFor(
        [&] {
            QProcess::execute("xdotool", click); // fails, to be tried again, until the window shows
            return !(lockFile = lockFileOf(plc, window.processId())).isEmpty();
        },
        kBound);
    return opened ? lockFile : QString();
}

} // namespace

class TestStopSignals : public QObject
{
    Q_OBJECT
private slots:
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
        QCOMPARE(program.exitStatus(), QProcess::NormalExit);
        QCOMPARE(program.exitCode(), 128 + signalNumber);
        QVERIFY2(!QFileInfo(leftBehind).exists() && !QFileInfo(leftBehind).isSymLink(),
                 qPrintable(leftBehind));
        // The device is released: the next vantrel opens it; the simulator's peer sees a hang-up.
        if (window) {
            MSComm next;
            next.setPortOpen(true);
            QVERIFY(next.PortOpen());
        } else {
            QVERIFY_THROWS_EXCEPTION(Failure, simulatorPeer.waitForInput(kBound));
        }
    }
};

QTEST_MAIN(TestStopSignals)
#include "tst_stopsignals.moc"
