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

namespace
{

constexpr int kBound = 20000; // ms

void ask(const char *request)
{
    std::printf("\n@@%s\n", request);
    std::fflush(stdout);
}

// What the window still holds of the adapter: lock files and open descriptors.
QStringList held()
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

} // namespace

class TestHardwareWindow : public QObject
{
    Q_OBJECT
private slots:
    void adapterLostAndFound()
    {
        const QString byId =
            QDir("/dev/serial/by-id").entryInfoList(QDir::System).value(0).filePath();
        QVERIFY(!byId.isEmpty());
        WindowRig rig;
        auto *ports = rig.control<QComboBox>("portChoice");
        ports->setCurrentIndex(1);

        const QString openAt = "COM 2: Open at 9600,N,8,1\r\nOK RD\r\n";
        rig.send("RD");
        QCOMPARE(rig.log(), openAt);

        // Pulled out while the port sits idle and plugged back: the next command fails, and
        // Close Port and the next command open the adapter again.
        ask("unplug");
        QTRY_VERIFY_WITH_TIMEOUT(!QFileInfo::exists(byId), kBound);
        ask("replug");
        QTRY_VERIFY_WITH_TIMEOUT(QFileInfo::exists(byId), kBound);
        rig.send("RD");
        QVERIFY2(rig.failures.value(0).contains("went away"), qPrintable(rig.failures.value(0)));
        rig.click("closePort");
        rig.send("RD");
        QCOMPARE(rig.log(), openAt + openAt);

        // Pulled out while the window waits for a reply: a failure long before the timeout,
        // and nothing held once it is shown.
        rig.control<QLineEdit>("timeOutBox")->setText("15000");
        QElapsedTimer waited;
        waited.start();
        rig.send("PULL");
        QVERIFY2(waited.elapsed() < 3000, qPrintable(QString::number(waited.elapsed())));
        QVERIFY2(rig.failures.value(1).contains("went away"), qPrintable(rig.failures.value(1)));
        QCOMPARE(held(), QStringList());
        ask("replug");
        QTRY_VERIFY_WITH_TIMEOUT(QFileInfo::exists(byId), kBound);
        rig.click("closePort");
        rig.send("RD");
        QCOMPARE(rig.log(), openAt + openAt + openAt);
        QCOMPARE(rig.failures.size(), 2);

        // The tool tips: COM2 is the adapter, COM4 the node /dev/ttyS3 with no UART behind it.
        QHelpEvent hover(QEvent::ToolTip, QPoint(1, 1), ports->mapToGlobal(QPoint(1, 1)));
        QCoreApplication::sendEvent(ports, &hover);
        QVERIFY(ports->itemData(1, Qt::ToolTipRole).toString().endsWith(", present"));
        QVERIFY(!ports->itemData(3, Qt::ToolTipRole).toString().endsWith(", present"));
    }
};

QTEST_MAIN(TestHardwareWindow)
#include "tst_hardwarewindow.moc"
