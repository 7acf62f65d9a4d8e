#include <QProcess>
#include <QTest>

// The programs' own command lines, run as a user runs them: without a display.
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
    QTest::addColumn<QString>("out"); // start of standard output
    QTest::addColumn<QString>("err"); // start of standard error

    const QString vantrel = VANTREL_PATH;
    const QString plcsim = PLCSIM_PATH;
    const QString usage = "Usage: vantrel [--help | --version]\n";
    // clang-format off
    QTest::newRow("help") << vantrel << QStringList{"--help"} << 0 << usage << "";
    QTest::newRow("version") << vantrel << QStringList{"--version"} << 0 << "vantrel " VANTREL_VERSION "\n" << "";
    QTest::newRow("help wins over version") << vantrel << QStringList{"-V", "-h"} << 0 << usage << "";
    QTest::newRow("unknown option") << vantrel << QStringList{"--port"} << 2 << ""
                                    << "vantrel: unknown argument \"--port\"\n" + usage;
    QTest::newRow("Qt's own options are refused too") << vantrel << QStringList{"-platform", "xcb"} << 2 << ""
                                                      << "vantrel: unknown argument \"-platform\"";
    QTest::newRow("a bad argument beside --version") << vantrel << QStringList{"--version", "x"} << 2 << ""
                                                     << "vantrel: unknown argument \"x\"";
    QTest::newRow("simulator version") << plcsim << QStringList{"--version"} << 0
                                       << "vantrel-plcsim " VANTREL_VERSION "\n" << "";
    QTest::newRow("simulator refusal") << plcsim << QStringList{"--bogus"} << 2 << ""
                                       << "vantrel-plcsim: unknown argument \"--bogus\"";
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
    QProcess process;
    process.setProcessEnvironment(environment);
    process.start(program, arguments);
    QVERIFY(process.waitForFinished(10000));
    const QString printed = QString::fromUtf8(process.readAllStandardOutput());
    const QString complained = QString::fromUtf8(process.readAllStandardError());
    QCOMPARE(process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(process.exitCode(), status);
    // An empty expectation means nothing at all was printed there.
    const auto begins = [](const QString &text, const QString &start) {
        return start.isEmpty() ? text.isEmpty() : text.startsWith(start);
    };
    QVERIFY2(begins(printed, out), qPrintable(printed));
    QVERIFY2(begins(complained, err), qPrintable(complained));
}

QTEST_MAIN(TestCommandLine)
#include "tst_commandline.moc"
