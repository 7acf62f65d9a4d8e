#include "portlockfile.h"
#include "windowrig.h"

#include <QDir>
#include <QElapsedTimer>
#include <QHelpEvent>

#include <cstdio>

// The window on the USB adapter, run inside the virtual machine by tst_hardware as an ordinary
// user whose ports file maps COM2 to the adapter's by-id name. A line "@@unplug" or "@@replug"
// on standard output asks the host to pull the adapter out or plug it back; the command "PULL"
// has the host's controller pull it while the window waits for the reply.
class TestHardwareWindow : public QObject
{
    Q_OBJECT
    const QString byId = QDir("/dev/serial/by-id").entryInfoList(QDir::System).value(0).filePath();

    // Asks the host to plug the adapter in or pull it out; true once its by-id name follows.
    bool plug(bool in) const
    {
        std::printf("\n@@%s\n", in ? "replug" : "unplug");
        std::fflush(stdout);
        return QTest::qWaitFor([&] { return QFileInfo::exists(byId) == in; }, 20000);
    }

    // What the window still holds of the adapter: lock files and open descriptors.
    static QStringList held()
    {
        QStringList held;
        for (const char *directory : kLockDirectories)
            held += QDir(directory).entryList({"LCK..ttyUSB*", "LCK..serial_by-id_*"},
                                              QDir::Files | QDir::System);
        for (const QFileInfo &fd : QDir("/proc/self/fd").entryInfoList(QDir::System))
            if (fd.symLinkTarget().startsWith("/dev/ttyUSB"))
                held += fd.symLinkTarget();
        return held;
    }

private slots:
    void adapterLostAndFound()
    {
        WindowRig rig;
        auto *ports = rig.control<QComboBox>("portChoice");
        ports->setCurrentIndex(1);
        const QString openAt = "COM 2: Open at 9600,N,8,1\r\nOK RD\r\n";
        rig.send("RD");
        QCOMPARE(rig.log(), openAt);

        // Pulled out while the port sits idle and plugged back: the next command fails, and
        // Close Port and the next command open the adapter again.
        QVERIFY(plug(false) && plug(true));
        rig.send("RD");
        rig.click("closePort");
        rig.send("RD");
        QCOMPARE(rig.log(), openAt + openAt);

        // Pulled out while the window waits for a reply: a failure within a second or two, long
        // before the timeout, and nothing held once it is shown.
        rig.control<QLineEdit>("timeOutBox")->setText("15000");
        QElapsedTimer waited;
        waited.start();
        rig.send("PULL");
        QVERIFY2(waited.elapsed() < 3000, qPrintable(QString::number(waited.elapsed())));
        QCOMPARE(held(), QStringList());
        QVERIFY(plug(true));
        rig.click("closePort");
        rig.send("RD");
        QCOMPARE(rig.log(), openAt + openAt + openAt);
        QVERIFY2(rig.failures.size() == 2 && rig.failures.filter("went away").size() == 2,
                 qPrintable(rig.failures.join('\n')));

        // The tool tips: COM2 is the adapter, COM4 the node /dev/ttyS3 with no UART behind it.
        QHelpEvent hover(QEvent::ToolTip, QPoint(1, 1), ports->mapToGlobal(QPoint(1, 1)));
        QCoreApplication::sendEvent(ports, &hover);
        QVERIFY(ports->itemData(1, Qt::ToolTipRole).toString().endsWith(", present"));
        QVERIFY(!ports->itemData(3, Qt::ToolTipRole).toString().endsWith(", present"));
    }
};

QTEST_MAIN(TestHardwareWindow)
#include "tst_hardwarewindow.moc"
