#include "ordinaryuser.h"
#include "simulatedplc.h"

#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <unistd.h>

// One run: the arguments, the input; what the controller received, the output (times as TIME,
// JSON without "ms"), the exit status and part of the message on standard error (empty: nothing
// there); the controller's options; whether the output goes to a full disk; whether the program
// starts with its standard descriptors closed.
struct Run {
    QStringList arguments;
    QByteArray input;
    QByteArray wire;
    QByteArray output;
    int status = 0;
    QString message{};
    plcsim::PlcOptions options{};
    bool diskFull = false;
    bool standardDescriptorsClosed = false;
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
    void unreadablePortsFile();
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
    row("-t -1: a negative timeout, not an option", {{"-t", "-1", "A"}, {}, "\x05" "A\r", "OK A\n"});
    row("-V, its output not written: exit 2", {{"-V"}, {}, {}, {}, 2, "Standard output cannot be written (No space left on device)", {}, true});
    row("unit 256 has no two-digit frame", {{"-u", "256", "A"}, {}, {}, {}, 2, "The unit \"256\" is not a whole number from 0 to 255."});
    row("CR in a command argument: nothing sent", {{"A", "B\rC"}, {}, {}, {}, 2, "Command 2 holds a CR at position 2: the controller would take the rest for another command."});
    row("lines ended by CR alone: nothing sent", {{}, "RD D100\rWR D100 5\r", {}, {}, 2, "Line 1 of standard input holds a CR at position 8"});
    row("input line not UTF-8: named", {{}, "A\n\xFF\n", "\x05" "A\r", "OK A\n", 2, "Line 2 of standard input is not UTF-8"});
    row("parity that is no ASCII letter", {{"-s", "9600,\u017F,8,1", "A"}, {}, {}, {}, 2, "The line settings \"9600,\u017F,8,1\" cannot be used"});
    row("1.5 stop bits: refused, not run as 1", {{"-s", "9600,N,8,1.5", "A"}, {}, {}, {}, 2, "cannot take the line settings \"9600,N,8,1.5\""});
    row("missing device behind COMn", {{"-p", "COM9", "A"}, {}, {}, {}, 2, "COM9 (/dev/vantrel-missing) cannot be opened: there is no such device (mapped by VANTREL_COM9)"});
    row("timeout text: the command line's advice", {{"-t", "abc", "A"}, {}, {}, {}, 2, "The timeout \"abc\" is not a number of milliseconds. Give one such as -t 500.\n"});
    row("path to no serial device", {{"-p", "/dev/null", "A"}, {}, {}, {}, 2, "/dev/null cannot be opened: /dev/null is not a serial device.\n"});
    row("character the line cannot carry: nothing sent", {{"A", "\u20AC"}, {}, {}, {}, 2, "(U+20AC) at position 1"});
    row("started with 0, 1 and 2 closed: its warning not on the line", {{"-t", "100", "A"}, {}, "\x05" "A\r", {}, 1, {}, {.silent = true}, false, true});
    // clang-format on
}

void TestVantrelSend::runs()
{
    QFETCH(Run, r);
    SimulatedPlc plc(r.options);
    QProcess run;
    if (r.standardDescriptorsClosed)
        run.setChildProcessModifier([] {
            for (int fd : {0, 1, 2})
                ::close(fd);
        });
    if (r.diskFull)
        run.setStandardOutputFile("/dev/full");
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
// text in front, then a bare CR (an empty reply, which is a reply), then another unit's frame.
void TestVantrelSend::json()
{
    SimulatedPlc plc({.silent = true});
    QProcess run;
    run.start(QStringLiteral(VANTREL_SEND),
              {"--json", "-u", "1", "-t", "1000", "RD", "WR", "X", "Y", "E", "U"});
    QByteArray wire;
    const std::pair<const char *, const char *> steps[]{{"@01RD57*", "@01OKRD53*\r"},
                                                        {"@01WR44*", "@01OKWR00*\r"},
                                                        {"@01X19*", "late\r\n"},
                                                        {"@01Y18*", "Z\r"},
                                                        {"@01E04*", "\r"},
                                                        {"@01U14*", "@02OKU13*\r"}};
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
{"command":"U","outcome":"reply","reply":"@02OKU13*","sent":"@01U14*","status":"wrong-unit","time":"TIME"}
)");
}

// A ports file the technician may not read (root's, mode 0600, say) refuses COM2 rather than
// leaving it to /dev/ttyS1, the machine's own port.
void TestVantrelSend::unreadablePortsFile()
{
    QTemporaryDir home;
    const QString file = home.filePath("vantrel/ports.conf");
    QVERIFY(QDir().mkpath(home.filePath("vantrel")));
    QFile ports(file);
    QVERIFY(ports.open(QIODevice::WriteOnly) && ports.write("[ports]\nCOM2=/dev/x\n") > 0);
    ports.close();
    QVERIFY(QFile::setPermissions(home.path(), QFile::ReadOwner | QFile::WriteOwner |
                                                   QFile::ExeOwner | QFile::ExeOther) &&
            QFile::setPermissions(file, {}));
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("XDG_CONFIG_HOME", home.path());
    environment.insert("XDG_CONFIG_DIRS", "/nonexistent");
    QProcess run;
    run.setProcessEnvironment(environment);
    OrdinaryUser::technician().start(run, VANTREL_SEND, {"-p", "COM2", "A"});
    QVERIFY(run.waitForFinished(20000));
    QCOMPARE(run.exitCode(), 2);
    const QString errors = QString::fromUtf8(run.readAllStandardError());
    QVERIFY2(
        errors.startsWith("vantrel-send: COM2 cannot be opened: " + file + " cannot be read ("),
        qPrintable(errors));
}

QTEST_GUILESS_MAIN(TestVantrelSend)
#include "tst_vantrelsend.moc"
