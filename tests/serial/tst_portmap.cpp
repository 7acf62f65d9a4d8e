#include "failuretext.h"
#include "mscomm.h"
#include "portmap.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

// Which device stands behind COMn: the environment, the user's and the system's ports files,
// the default; and a clear refusal for an entry that cannot be used.
class TestPortMap : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void mapping_data();
    void mapping();
    void missingDeviceNamesTheEntry();

private:
    void write(const QString &configDir, const QString &text);
    QTemporaryDir dir;
};

void TestPortMap::init()
{
    QVERIFY(dir.isValid());
    QDir(dir.path()).removeRecursively();
    QDir().mkpath(dir.path());
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(dir.filePath("home")));
    qputenv("XDG_CONFIG_DIRS",
            QFile::encodeName(dir.filePath("sys1") + ":" + dir.filePath("sys2")));
    qunsetenv("VANTREL_COM2");
}

void TestPortMap::write(const QString &configDir, const QString &text)
{
    if (text.isNull())
        return;
    QDir().mkpath(dir.filePath(configDir + "/vantrel"));
    QFile file(dir.filePath(configDir + "/vantrel/ports.conf"));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(text.toUtf8());
}

void TestPortMap::mapping_data()
{
    QTest::addColumn<QString>("environment");
    QTest::addColumn<QString>("home");
    QTest::addColumn<QString>("sys1");
    QTest::addColumn<QString>("sys2");
    QTest::addColumn<QString>("device");
    QTest::addColumn<QString>("origin"); // file or variable, and line
    QTest::addColumn<QString>("problem");

    const QString none;
    const QString byId = "/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0";
    // clang-format off
    QTest::newRow("environment first") << "/dev/ttyUSB7" << "[ports]\nCOM2=/dev/x\n" << none << none << "/dev/ttyUSB7" << "VANTREL_COM2" << "";
    QTest::newRow("user file") << "" << "[ports]\nCOM2=" + byId + "\n" << "[ports]\nCOM2=/dev/sys\n" << none << byId << "home/vantrel/ports.conf, line 2" << "";
    QTest::newRow("system file") << "" << "[ports]\nCOM1=/dev/a\n" << "[ports]\nCOM2=/dev/b\n" << none << "/dev/b" << "sys1/vantrel/ports.conf, line 2" << "";
    QTest::newRow("second system dir") << "" << none << "" << "[ports]\nCOM2=/dev/c\n" << "/dev/c" << "sys2/vantrel/ports.conf, line 2" << "";
    QTest::newRow("default") << "" << "[ports]\nCOM12=/dev/x\nCOM1=/dev/y\n" << none << none << "/dev/ttyS1" << "" << "";
    QTest::newRow("only [ports], comments, quotes") << "" << "[other]\nCOM2=/dev/x\n[ports]\n; c\n# c\n COM2 = \"/dev/a b\" \n" << none << none << "/dev/a b" << "home/vantrel/ports.conf, line 6" << "";
    QTest::newRow("another port's bad line") << "" << "[ports]\nCOM3 /dev/x\nCOM2=/dev/y\n" << none << none << "/dev/y" << "home/vantrel/ports.conf, line 3" << "";
    QTest::newRow("no =") << "" << "[ports]\nCOM2 /dev/ttyUSB0\n" << "[ports]\nCOM2=/dev/b\n" << none << "" << "home/vantrel/ports.conf, line 2" << "line 2 \"COM2 /dev/ttyUSB0\" is not of the form COM2=DEVICE";
    QTest::newRow("relative path") << "" << "[ports]\nCOM2=ttyUSB0\n" << none << none << "" << "home/vantrel/ports.conf, line 2" << "full path";
    // clang-format on
}

void TestPortMap::mapping()
{
    QFETCH(QString, environment);
    QFETCH(QString, home);
    QFETCH(QString, sys1);
    QFETCH(QString, sys2);
    QFETCH(QString, device);
    QFETCH(QString, origin);
    QFETCH(QString, problem);
    if (!environment.isEmpty())
        qputenv("VANTREL_COM2", environment.toLocal8Bit());
    write("home", home);
    write("sys1", sys1);
    write("sys2", sys2);

    const PortMapping mapping = mapPort(2);
    QCOMPARE(mapping.device, device);
    QCOMPARE(QString(mapping.origin).remove(dir.path() + "/"), origin);
    if (problem.isEmpty())
        QVERIFY2(mapping.problem.isEmpty(), qPrintable(mapping.problem));
    else
        QVERIFY2(mapping.problem.contains(problem), qPrintable(mapping.problem));
}

void TestPortMap::missingDeviceNamesTheEntry()
{
    write("home", "[ports]\nCOM2=" + dir.filePath("unplugged") + "\n");
    MSComm comm;
    comm.setCommPort(2);
    const QString failure = failureText([&] { comm.setPortOpen(true); });
    QVERIFY2(failure.contains("no such device (mapped by " + dir.filePath("home") +
                              "/vantrel/ports.conf, line 2)"),
             qPrintable(failure));
    // The advice names the very line to put in the file.
    QVERIFY2(failure.contains(QRegularExpression("(\n|    )COM2=/dev/")), qPrintable(failure));
    QVERIFY(!comm.PortOpen());
}

QTEST_GUILESS_MAIN(TestPortMap)
#include "tst_portmap.moc"
