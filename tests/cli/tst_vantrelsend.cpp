#include "simulatedplc.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTest>

#include <csignal>

using Options = plcsim::PlcOptions;

namespace
{

// vantrel-send started with arguments, input written to it and its input then closed.
struct SendRun {
    SendRun(const QStringList &arguments, const QByteArray &input = {})
    {
        process.start(QStringLiteral(VANTREL_SEND), arguments);
        process.write(input);
        process.closeWriteChannel();
    }
    bool finish() { return process.waitForFinished(20000); }

    QProcess process;
};

} // namespace

// vantrel-send against a simulated controller on a real pseudo-terminal mapped to COM1.
class TestVantrelSend : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { qputenv("VANTREL_COM9", "/dev/vantrel-missing"); }
    void runs_data();
    void runs();
    void json();
    void stopSignal();
};

void TestVantrelSend::runs_data()
{
    QTest::addColumn<Options>("options");
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<QByteArray>("wire");
    QTest::addColumn<QByteArray>("output");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("message"); // on standard error; empty: nothing there

    const auto row = [](const char *name, const QStringList &arguments, const QByteArray &input,
                        const QByteArray &wire, const QByteArray &output, int status = 0,
                        const QString &message = {}, const Options &options = {}) {
        QTest::newRow(name) << options << arguments << input << wire << output << status << message;
    };
    // clang-format off
    row("handshake, Latin-1 both ways", {"RD \u00E9"}, {}, "\x05RD \xE9\r", "OK RD \xC3\xA9\n");
    row("--unit frames the command", {"-u", "0", "abc"}, {}, "@00abc20*\r", "@00OKabc24*\n");
    row("--no-handshake", {"--no-handshake", "RD D100"}, {}, "RD D100\r", "OK RD D100\n", 0, {}, {.answerEnq = false});
    row("silent controller", {"-t", "100", "A"}, {}, "\x05" "A\r", "\n", 1, "\"A\": (Warning: No Response from PLC)", {.silent = true});
    row("input lines: CR dropped, empty line sent", {}, "A\r\n\nB", "\x05" "A\r\x05\r\x05" "B\r", "OK A\nOK \nOK B\n");
    row("reply escaped to one line", {"X"}, {}, "\x05X\r", "a\\\\b\\tc\\r\\n\\x01\\x7F\\x85\xC3\xA9\n", 0, {},
        {.reply = "a\\b\tc\r\n\x01\x7F\x85\xE9"});
    row("unknown option", {"--bogus", "A"}, {}, {}, {}, 2, "Unknown option 'bogus'");
    row("settings refused", {"-s", "9600,N,9,1", "A"}, {}, {}, {}, 2, "\"9600,N,9,1\" cannot be used");
    row("missing device path", {"-p", "/dev/vantrel-missing", "A"}, {}, {}, {}, 2, "/dev/vantrel-missing cannot be opened: there is no such device");
    row("missing device behind COMn", {"-p", "COM9", "A"}, {}, {}, {}, 2, "COM9 (/dev/vantrel-missing) cannot be opened: there is no such device (mapped by VANTREL_COM9)");
    row("character the line cannot carry: nothing sent", {"A", "\u20AC"}, {}, {}, {}, 2, "(U+20AC) at position 1");
    // clang-format on
}

void TestVantrelSend::runs()
{
    QFETCH(Options, options);
    QFETCH(QStringList, arguments);
    QFETCH(QByteArray, input);
    QFETCH(QByteArray, wire);
    QFETCH(QByteArray, output);
    QFETCH(int, status);
    QFETCH(QString, message);

    SimulatedPlc plc(options);
    SendRun run(arguments, input);
    QVERIFY(run.finish());
    QCOMPARE(run.process.readAllStandardOutput(), output);
    QCOMPARE(run.process.exitCode(), status);
    const QString errors = QString::fromUtf8(run.process.readAllStandardError());
    const bool said = errors.startsWith("vantrel-send: ") && errors.contains(message);
    QVERIFY2(message.isEmpty() ? errors.isEmpty() : said, qPrintable(errors));
    QCOMPARE(plc.received(), wire);
}

// One run through every outcome, the controller's part played by hand: a good frame, a bad FCS,
// a reply that ends CR LF (no reply; its text waits in the buffer), then the next reply with that
// text in front.
void TestVantrelSend::json()
{
    SimulatedPlc plc({.silent = true});
    SendRun run({"--json", "-u", "1", "-t", "1000", "RD", "WR", "X", "Y"});
    QByteArray wire;
    const auto answer = [&](const QByteArray &frame, const std::string &reply) {
        wire += frame + '\r';
        return plc.engine.waitForReceived(wire.size(), 5000) && plc.engine.send(reply);
    };
    QVERIFY(answer("@01RD57*", "@01OKRD53*\r"));
    QVERIFY(answer("@01WR44*", "@01OKWR00*\r"));
    QVERIFY(answer("@01X19*", "late\r\n"));
    QVERIFY(answer("@01Y18*", "Z\r"));

    QVERIFY(run.finish());
    QCOMPARE(run.process.exitCode(), 1);
    QCOMPARE(plc.received(), wire);
    const QList<QByteArray> lines = run.process.readAllStandardOutput().split('\n');
    const QStringList expected{
        R"({"command":"RD","sent":"@01RD57*","reply":"@01OKRD53*","status":"reply"})",
        R"({"command":"WR","sent":"@01WR44*","reply":"@01OKWR00*","status":"bad-fcs"})",
        R"({"command":"X","sent":"@01X19*","reply":null,"status":"no-response"})",
        R"({"command":"Y","sent":"@01Y18*","reply":"late\r\nZ","status":"reply"})", ""};
    QCOMPARE(lines.size(), expected.size());
    for (qsizetype i = 0; i + 1 < lines.size(); ++i) {
        QJsonObject record = QJsonDocument::fromJson(lines[i]).object();
        QVERIFY(record.take("ms").toDouble(-1) >= 0);
        QCOMPARE(record, QJsonDocument::fromJson(expected[i].toUtf8()).object());
    }
}

// Ctrl-C in the middle of a long wait ends the program at once. The handler also removes the port's
// lock file, which tst_stopsignals proves for the window; it and the port object are the same here.
void TestVantrelSend::stopSignal()
{
    SimulatedPlc plc({.silent = true});
    SendRun run({"-t", "60000", "A", "B"});
    QVERIFY(plc.engine.waitForReceived(3, 5000));
    ::kill(static_cast<pid_t>(run.process.processId()), SIGINT);
    QVERIFY(run.process.waitForFinished(5000));
    QCOMPARE(run.process.exitCode(), 128 + SIGINT);
    QCOMPARE(plc.received(), QByteArray("\x05"
                                        "A\r"));
}

QTEST_GUILESS_MAIN(TestVantrelSend)
#include "tst_vantrelsend.moc"
