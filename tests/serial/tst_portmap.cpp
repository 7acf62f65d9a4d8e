#include "portmap.h"
#include "systemfiles.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>

using SystemFiles::DeviceState;

// Which device stands behind COMn: the environment, the user's and the system's ports files,
// the default; a clear refusal for a file or an entry that cannot be used; and what stands at a
// device path, told without opening it.
class TestPortMap : public QObject
{
    Q_OBJECT
private slots:
    void mapping_data();
    void mapping();
    void deviceState();
};

void TestPortMap::mapping_data()
{
    QTest::addColumn<QString>("environment");
    QTest::addColumn<QStringList>("files"); // the user's, then the two system folders'; null: none
    QTest::addColumn<QString>("device");
    QTest::addColumn<QString>("origin"); // file or variable, and line
    QTest::addColumn<QString>("problem");
    const QString none;
    const QString user = "home/vantrel/ports.conf";
    // clang-format off
    QTest::newRow("environment first") << "/dev/ttyUSB7" << QStringList{"[ports]\nCOM2=/dev/x\n", none, none} << "/dev/ttyUSB7" << "VANTREL_COM2" << "";
    QTest::newRow("user file") << "" << QStringList{"[ports]\nCOM2=/dev/a\n", "[ports]\nCOM2=/dev/b\n", none} << "/dev/a" << user + ", line 2" << "";
    QTest::newRow("system file") << "" << QStringList{"[ports]\nCOM1=/dev/a\n", "[ports]\nCOM2=/dev/b\n", "[ports]\nCOM2=/dev/c\n"} << "/dev/b" << "sys1/vantrel/ports.conf, line 2" << "";
    QTest::newRow("second system folder") << "" << QStringList{none, "", "[ports]\nCOM2=/dev/c\n"} << "/dev/c" << "sys2/vantrel/ports.conf, line 2" << "";
    QTest::newRow("default") << "" << QStringList{"[ports]\nCOM12=/dev/x\nCOM1=/dev/y\n", none, none} << "/dev/ttyS1" << "" << "";
    QTest::newRow("only [ports], comments, quotes") << "" << QStringList{"[other]\nCOM2=/dev/x\n[ports]\n; c\n# c\n COM2 = \"/dev/a b\" \n", none, none} << "/dev/a b" << user + ", line 6" << "";
    QTest::newRow("bad lines beside the port's own") << "" << QStringList{"[ports]\nCOM3 /dev/x\nbad\nCOM2=/dev/y\n", none, none} << "/dev/y" << user + ", line 4" << "";
    QTest::newRow("relative path") << "" << QStringList{"[ports]\nCOM2=ttyUSB0\n", none, none} << "" << user + ", line 2" << "does not name a device by its full path";
    QTest::newRow("comment after the device") << "" << QStringList{"[ports]\nCOM2=/dev/a\t# adapter\n", none, none} << "/dev/a" << user + ", line 2" << "";
    QTest::newRow("no [ports] header: refused") << "" << QStringList{"COM2=/dev/a\n", "[ports]\nCOM2=/dev/b\n", none} << "" << user + ", line 1" << "is outside the [ports] section";
    QTest::newRow("two devices for a port: refused") << "" << QStringList{"[ports]\nCOM2=/dev/a\nCOM2=/dev/b\n", none, none} << "" << user + ", line 3" << "line 3 maps COM2 to /dev/b, but line 2 maps it to /dev/a";
    QTest::newRow("NUL in the path: refused, shown") << "" << QStringList{QString("[ports]\nCOM2=/dev/a") + QChar(0) + "b\n", none, none} << "" << user + ", line 2" << "\"COM2=/dev/a\\x00b\" has the control character \\x00";
    QTest::newRow("FIFO: refused unopened") << "" << QStringList{"<fifo>", "[ports]\nCOM2=/dev/b\n", none} << "" << user << user + " is a FIFO";
    QTest::newRow("larger than 64 KiB: refused") << "" << QStringList{"[ports]\nCOM2=/dev/a\n" + QString(64 * 1024, u'#'), none, none} << "" << user << user + " is larger than 64 KiB";
    // clang-format on
}

void TestPortMap::mapping()
{
    QFETCH(QString, environment);
    QFETCH(QStringList, files);
    QFETCH(QString, device);
    QFETCH(QString, origin);
    QFETCH(QString, problem);
    QTemporaryDir dir;
    const QStringList folders{dir.filePath("home"), dir.filePath("sys1"), dir.filePath("sys2")};
    qputenv("VANTREL_COM2", environment.toLocal8Bit());
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(folders[0]));
    qputenv("XDG_CONFIG_DIRS", QFile::encodeName(folders[1] + ":" + folders[2]));
    for (qsizetype i = 0; i < folders.size(); ++i) {
        QFile file(folders[i] + "/vantrel/ports.conf");
        if (files[i].isNull())
            continue;
        QVERIFY(QDir().mkpath(folders[i] + "/vantrel"));
        if (files[i] == "<fifo>")
            QCOMPARE(::mkfifo(QFile::encodeName(file.fileName()).constData(), 0600), 0);
        else
            QVERIFY(file.open(QIODevice::WriteOnly) && file.write(files[i].toUtf8()) >= 0);
    }

    const PortMapping mapping = mapPort(2);
    const QString prefix = dir.path() + "/";
    QCOMPARE(QStringList({mapping.device, QString(mapping.origin).remove(prefix)}),
             QStringList({device, origin}));
    QVERIFY2(problem.isEmpty() ? mapping.problem.isEmpty()
                               : QString(mapping.problem).remove(prefix).contains(problem),
             qPrintable(mapping.problem));
}

// What stands at a device path, told from /sys without opening it. A stand-in for /sys gives
// /dev/null's device number (1:3) another kind, then makes it a serial port whose type says
// whether a UART answers. A missing device, a regular file and a terminal without an entry are
// met by vantrel-send's and the command line's tests and every test over a pseudo-terminal.
void TestPortMap::deviceState()
{
    QTemporaryDir sysfs;
    const QDir root(sysfs.path());
    const QString kind = root.filePath("dev/char/1:3/subsystem");
    QFile type(root.filePath("dev/char/1:3/type"));
    const auto state = [&] { return SystemFiles::deviceState("/dev/null", root.path()); };
    QVERIFY(root.mkpath("dev/char/1:3") && root.mkpath("class/mem") && root.mkpath("class/tty"));
    QVERIFY(QFile::link(root.filePath("class/mem"), kind));
    QCOMPARE(state(), DeviceState::NotSerial);
    QVERIFY(QFile::remove(kind) && QFile::link(root.filePath("class/tty"), kind));
    QVERIFY(type.open(QIODevice::WriteOnly) && type.write("0\n") && type.flush());
    QCOMPARE(state(), DeviceState::NoHardware);
    QVERIFY(type.seek(0) && type.write("4\n") && type.flush());
    QCOMPARE(state(), DeviceState::Present);
}

QTEST_GUILESS_MAIN(TestPortMap)
#include "tst_portmap.moc"
