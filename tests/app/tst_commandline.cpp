#include <QProcess>
#include <QTest>

// The programs' own command lines, run as a user runs them: without a display. Each --version is
// checked on the installed programs by the package test.
class TestCommandLine : public QObject
{
    Q_OBJECT
private slots:
    void answers_data();
    void answers();
};

void TestCommandLine::answers_data()
{
    QTest::addColumn<QString>("program");
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("out"); // part of standard output; empty: nothing printed
    QTest::addColumn<QString>("err"); // the same for standard error

    const QString usage = "Usage: vantrel [--help | --version]\n";
    const QString file = QCoreApplication::applicationFilePath();
    // clang-format off
    QTest::newRow("unknown argument") << VANTREL_PATH << QStringList{"--port"} << 2 << "" << "vantrel: unknown argument \"--port\"\n" + usage;
    QTest::newRow("Qt's options beside --help") << VANTREL_PATH << QStringList{"-platform", "offscreen", "--session", "1a2b", "-style=Fusion", "-reverse", "--help"} << 0 << usage << "";
    QTest::newRow("left over by Qt: refused") << VANTREL_PATH << QStringList{"-platform", "offscreen", "-geometry", "9x9"} << 2 << "" << "vantrel: unknown argument \"-geometry\"\n" + usage;
    QTest::newRow("send lists a mapped port") << SEND_PATH << QStringList{"--list-ports"} << 0 << "COM6: " + file + " (from VANTREL_COM6), not a serial device\n" << "";
    QTest::newRow("simulator refusal") << PLCSIM_PATH << QStringList{"--bogus"} << 2 << "" << "vantrel-plcsim: unknown argument \"--bogus\"";
    // clang-format on
}

void TestCommandLine::answers()
{
    QFETCH(QString, program);
    QFETCH(QStringList, arguments);
    QFETCH(int, status);
    QFETCH(QString, out);
    QFETCH(QString, err);

    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char *display : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        environment.remove(display);
    environment.insert("VANTREL_COM6", QCoreApplication::applicationFilePath());
    QProcess process;
    process.setProcessEnvironment(environment);
    process.start(program, arguments);
    QVERIFY(process.waitForFinished(10000));
    QCOMPARE(process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1, status);
    for (const auto &[text, part] : {std::pair(process.readAllStandardOutput(), out),
                                     std::pair(process.readAllStandardError(), err)})
        QVERIFY2(part.isEmpty() ? text.isEmpty() : text.contains(part.toUtf8()), text);
}

QTEST_MAIN(TestCommandLine)
#include "tst_commandline.moc"
