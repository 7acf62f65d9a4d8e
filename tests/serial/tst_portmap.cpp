#include "portmap.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

// Which device stands behind COMn: the environment, the user's and the system's ports files,
// the default; and a clear refusal for an entry that cannot be used.
class TestPortMap : public QObject
{
    Q_OBJECT
private slots:
    void mapping_data();
    void mapping();
};

void TestPortMap::mapping_data()
{
    QTest::addColumn<QString>("environment");
    QTest::addColumn<QStringList>("files"); // the user's, then the two system folders'; null: none
    QTest::addColumn<QString>("device");
    QTest::addColumn<QString>("origin"); // file or variable, and line
    QTest::addColumn<QString>("problem");

    const QString none;
    // clang-format off
    QTest::newRow("environment first") << "/dev/ttyUSB7" << QStringList{"[ports]\nCOM2=/dev/x\n", none, none} << "/dev/ttyUSB7" << "VANTREL_COM2" << "";
    QTest::newRow("user file") << "" << QStringList{"[ports]\nCOM2=/dev/a\n", "[ports]\nCOM2=/dev/b\n", none} << "/dev/a" << "home/vantrel/ports.conf, line 2" << "";
    QTest::newRow("system file") << "" << QStringList{"[ports]\nCOM1=/dev/a\n", "[ports]\nCOM2=/dev/b\n", "[ports]\nCOM2=/dev/c\n"} << "/dev/b" << "sys1/vantrel/ports.conf, line 2" << "";
    QTest::newRow("second system folder") << "" << QStringList{none, "", "[ports]\nCOM2=/dev/c\n"} << "/dev/c" << "sys2/vantrel/ports.conf, line 2" << "";
    QTest::newRow("default") << "" << QStringList{"[ports]\nCOM12=/dev/x\nCOM1=/dev/y\n", none, none} << "/dev/ttyS1" << "" << "";
    QTest::newRow("only [ports], comments, quotes") << "" << QStringList{"[other]\nCOM2=/dev/x\n[ports]\n; c\n# c\n COM2 = \"/dev/a b\" \n", none, none} << "/dev/a b" << "home/vantrel/ports.conf, line 6" << "";
    QTest::newRow("another port's bad line") << "" << QStringList{"[ports]\nCOM3 /dev/x\nCOM2=/dev/y\n", none, none} << "/dev/y" << "home/vantrel/ports.conf, line 3" << "";
    QTest::newRow("relative path") << "" << QStringList{"[ports]\nCOM2=ttyUSB0\n", none, none} << "" << "home/vantrel/ports.conf, line 2" << "does not name a device by its full path";
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
        if (files[i].isNull())
            continue;
        QVERIFY(QDir().mkpath(folders[i] + "/vantrel"));
        QFile file(folders[i] + "/vantrel/ports.conf");
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(files[i].toUtf8());
    }

    const PortMapping mapping = mapPort(2);
    QCOMPARE(mapping.device, device);
    QCOMPARE(QString(mapping.origin).remove(dir.path() + "/"), origin);
    QVERIFY2(problem.isEmpty() ? mapping.problem.isEmpty() : mapping.problem.contains(problem),
             qPrintable(mapping.problem));
}

QTEST_GUILESS_MAIN(TestPortMap)
#include "tst_portmap.moc"
