#include "simulatedplc.h"

#include <QProcess>
#include <QRegularExpression>
#include <QTest>

// One run: the arguments, the input; what the controller received, the output (times as TIME,
// JSON without "ms"), the exit status and part of the message on standard error (empty: nothing
// there); the controller's options.
struct Run {
    QStringList arguments;
    QByteArray input;
    QByteArray wire;
    QByteArray output;
    int status = 0;
    QString message{};
    plcsim::PlcOptions options{};
};

// Output with what varies from run to run taken out: times become TIME, durations go.
QString normalized(const QByteArray &output)
{
    static const QRegularExpression time(R"(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}[+-]\d\d:\d\d)");
    return QString::fromUtf8(output)
        .replace(time, "TIME")
        .remove(QRegularExpression(R"("ms":\d+,)"));
}

// vantrel-send against a simulated controller on a real pseudo-terminal mapped to COM1.
class TestVantrelSend : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { qputenv("VANTREL_COM9", "/dev/vantrel-missing"); }
    void runs_data();
    void runs();
    void json();
};

void TestVantrelSend::runs_data()
{
    QTest::addColumn<Run>("r");
    const auto row = [](const char *name, const Run &r) { QTest::newRow(name) << r; };
    // clang-format off
    row("handshake, Latin-1 both ways", {{"RD \u00E9"}, {}, "\x05RD \xE9\r", "OK RD \xC3\xA9\n"});
    row("--unit: unit in upper-case hex, FCS with both digits", {{"-u", "10", "1"}, {}, "@0A100*\r", "@0AOK104*\n"});
    row("--no-handshake", {{"--no-handshake", "RD D100"}, {}, "RD D100\r", "OK RD D100\n", 0, {}, {.answerEnq = false}});
    row("silent: --timestamp, --stop-on-no-reply", {{"-t", "100", "--timestamp", "--stop-on-no-reply", "A", "B"}, {}, "\x05" "A\r", "TIME \n", 1,
        "\"A\": (Warning: No Response from PLC)\nvantrel-send: \"A\": Nothing came in 100 ms after the command: is the controller connected to COM1 (", {.silent = true}});
    row("ENQ not answered", {{"-t", "100", "RD"}, {}, "\x05", "\n", 1, "nothing came in 100 ms, so the command was not sent. Does this controller take commands without it? Try --no-handshake.", {.answerEnq = false}});
    row("replies end CR LF", {{"-t", "100", "RD"}, {}, "\x05RD\r", "\n", 1, "7 bytes came without a closing CR: OK RD\\r\\n - does the controller end replies with CR LF?", {.crlf = true}});
    row("late reply, --json", {{"-t", "100", "--json", "RD"}, {}, "\x05RD\r",
        R"({"command":"RD","outcome":"no-closing-cr","received":"OK ","received_bytes":3,"reply":null,"sent":"RD","status":"no-response","time":"TIME"})" "\n", 1,
        "3 bytes came without a closing CR: OK  - does the controller answer later than 100 ms?", {.pieces = 2, .pauseMs = 300}});
    row("bad FCS", {{"-u", "1", "RD"}, {}, "@01RD57*\r", "@01OKRD50*\n", 1, "the reply \"@01OKRD50*\" fails its frame check", {.badFcs = true}});
    row("input lines: CR dropped, empty line sent", {{}, "A\r\n\nB", "\x05" "A\r\x05\r\x05" "B\r", "OK A\nOK \nOK B\n"});
    row("reply escaped to one line", {{"X"}, {}, "\x05X\r", "a\\\\b\\tc\\r\\n\\x01\\x7F\\x85\xC3\xA9\n", 0, {},
        {.reply = "a\\b\tc\r\n\x01\x7F\x85\xE9"}});
    row("unknown option", {{"--bogus", "A"}, {}, {}, {}, 2, "Unknown option 'bogus'"});
    row("parity that is no ASCII letter", {{"-s", "9600,\u017F,8,1", "A"}, {}, {}, {}, 2, "The line settings \"9600,\u017F,8,1\" cannot be used"});
    row("1.5 stop bits: refused, not run as 1", {{"-s", "9600,N,8,1.5", "A"}, {}, {}, {}, 2, "cannot take the line settings \"9600,N,8,1.5\""});
    row("missing device behind COMn", {{"-p", "COM9", "A"}, {}, {}, {}, 2, "COM9 (/dev/vantrel-missing) cannot be opened: there is no such device (mapped by VANTREL_COM9)"});
    row("character the line cannot carry: nothing sent", {{"A", "\u20AC"}, {}, {}, {}, 2, "(U+20AC) at position 1"});
    // clang-format on
}

void TestVantrelSend::runs()
{
    QFETCH(Run, r);
    SimulatedPlc plc(r.options);
    QProcess run;
    run.start(QStringLiteral(VANTREL_SEND), r.arguments);
    run.write(r.input);
    run.closeWriteChannel();
    QVERIFY(run.waitForFinished(20000));
    QCOMPARE(normalized(run.readAllStandardOutput()), QString::fromUtf8(r.output));
    QCOMPARE(run.exitCode(), r.status);
    const QString errors = QString::fromUtf8(run.readAllStandardError());
    const bool said = errors.startsWith("vantrel-send: ") && errors.contains(r.message);
    QVERIFY2(r.message.isEmpty() ? errors.isEmpty() : said, qPrintable(errors));
    QCOMPARE(plc.received(), r.wire);
}

// One run through every outcome, the controller's part played by hand: a good frame, a bad FCS,
// a reply that ends CR LF (no reply; its text waits in the buffer), then the next reply with that
// text in front, then a bare CR (an empty reply, which is a reply).
void TestVantrelSend::json()
{
    SimulatedPlc plc({.silent = true});
    QProcess run;
    run.start(QStringLiteral(VANTREL_SEND),
              {"--json", "-u", "1", "-t", "1000", "RD", "WR", "X", "Y", "E"});
    QByteArray wire;
    const std::pair<const char *, const char *> steps[]{{"@01RD57*", "@01OKRD53*\r"},
                                                        {"@01WR44*", "@01OKWR00*\r"},
                                                        {"@01X19*", "late\r\n"},
                                                        {"@01Y18*", "Z\r"},
                                                        {"@01E04*", "\r"}};
    for (const auto &[frame, reply] : steps) {
        wire += QByteArray(frame) + '\r';
        QVERIFY(plc.engine.waitForReceived(wire.size(), 5000) && plc.engine.send(reply));
    }
    QVERIFY(run.waitForFinished(20000));
    QCOMPARE(run.exitCode(), 1);
    QCOMPARE(plc.received(), wire);
    // Compact JSON lists the keys in order.
    QCOMPARE(
        normalized(run.readAllStandardOutput()),
        R"({"command":"RD","outcome":"reply","reply":"@01OKRD53*","sent":"@01RD57*","status":"reply","time":"TIME"}
{"command":"WR","outcome":"reply","reply":"@01OKWR00*","sent":"@01WR44*","status":"bad-fcs","time":"TIME"}
{"command":"X","outcome":"no-closing-cr","received":"late\\r\\n","received_bytes":6,"reply":null,"sent":"@01X19*","status":"no-response","time":"TIME"}
{"command":"Y","outcome":"reply","reply":"late\r\nZ","sent":"@01Y18*","status":"reply","time":"TIME"}
{"command":"E","outcome":"reply","reply":"","sent":"@01E04*","status":"reply","time":"TIME"}
)");
}

QTEST_GUILESS_MAIN(TestVantrelSend)
#include "tst_vantrelsend.moc"
