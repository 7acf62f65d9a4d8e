#include "ordinaryuser.h"
#include "simulatedplc.h"

#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <unistd.h>

// How the program is started: plainly, with its output going to a full disk, with its standard
// descriptors closed, or as a technician (not root).
enum class Start { Plainly, OutputToFullDisk, DescriptorsClosed, AsTechnician };

// One run: the arguments, the input; what the controller received, the output (times as TIME,
// JSON without "ms"), the exit status and part of the message on standard error (empty: nothing
// there; the temporary home as HOME); the controller's options; how the program starts; and, for
// a controller played by hand, its reply to each command.
struct Run {
    QStringList arguments;
    QByteArray input;
    QByteArray wire;
    QByteArray output;
    int status = 0;
    QString message{};
    plcsim::PlcOptions options{};
    Start start = Start::Plainly;
    QList<std::string> replies{};
};

// vantrel-send against a simulated controller on a real pseudo-terminal mapped to COM1.
class TestVantrelSend : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void runs_data();
    void runs();

private:
    QTemporaryDir home;
};

// COM9 maps to no device; COM2 only through a ports file the technician may not read (root's,
// mode 0600, say), which must refuse COM2 rather than leave it to /dev/ttyS1, the machine's own.
void TestVantrelSend::initTestCase()
{
    qputenv("VANTREL_COM9", "/dev/vantrel-missing");
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(home.path()));
    qputenv("XDG_CONFIG_DIRS", "/nonexistent");
    QFile ports(home.filePath("vantrel/ports.conf"));
    QVERIFY(QDir().mkpath(home.filePath("vantrel")) && ports.open(QIODevice::WriteOnly) &&
            ports.write("[ports]\nCOM2=/dev/x\n") > 0 && ports.flush() && ports.setPermissions({}));
    QVERIFY(QFile::setPermissions(home.path(), QFile::ReadOwner | QFile::WriteOwner |
                                                   QFile::ExeOwner | QFile::ExeOther));
}

// GCC 12 takes the empty optional in the rows' braced temporaries for uninitialized data when
// it destroys them (a false positive of its flow analysis at -O2).
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
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
    row("a late reply's rest with the ENQ: answered, no --no-handshake advised", {{"-t", "100", "RD"}, {}, "\x05", "\n", 1,
        "the ENQ handshake, but not with a lone ENQ: 4 bytes came: D\\r\\n\\x05; the command was not sent. Often the rest of a late reply to the command before came with the ENQ: a longer timeout helps.\n",
        {.answerEnq = false}, Start::Plainly, {"D\r\n\x05"}});
    row("replies end CR LF", {{"-t", "100", "RD"}, {}, "\x05RD\r", "\n", 1, "7 bytes came without a closing CR: OK RD\\r\\n - does the controller end replies with CR LF?", {.crlf = true}});
    // Compact JSON lists the keys in order. A reply that ends CR LF is none; its text waits for
    // the next reply. A bare CR is an empty reply, which is a reply.
    row("--json through every outcome, the controller played by hand", {{"--json", "-u", "1", "-t", "1000", "RD", "WR", "X", "Y", "E", "U"}, {},
        "@01RD57*\r@01WR44*\r@01X19*\r@01Y18*\r@01E04*\r@01U14*\r",
        R"({"command":"RD","outcome":"reply","reply":"@01OKRD53*","sent":"@01RD57*","status":"reply","time":"TIME"}
{"command":"WR","outcome":"reply","reply":"@01OKWR00*","sent":"@01WR44*","status":"bad-fcs","time":"TIME"}
{"command":"X","outcome":"no-closing-cr","received":"late\\r\\n","received_bytes":6,"reply":null,"sent":"@01X19*","status":"no-response","time":"TIME"}
{"command":"Y","outcome":"reply","reply":"late\r\nZ","sent":"@01Y18*","status":"reply","time":"TIME"}
{"command":"E","outcome":"reply","reply":"","sent":"@01E04*","status":"reply","time":"TIME"}
{"command":"U","outcome":"reply","reply":"@02OKU13*","sent":"@01U14*","status":"wrong-unit","time":"TIME"}
)", 1, "the reply \"@02OKU13*\"", {.silent = true}, Start::Plainly, {"@01OKRD53*\r", "@01OKWR00*\r", "late\r\n", "Z\r", "\r", "@02OKU13*\r"}});
    row("input lines: CR dropped, empty line sent", {{}, "A\r\n\nB", "\x05" "A\r\x05\r\x05" "B\r", "OK A\nOK \nOK B\n"});
    row("reply escaped to one line", {{"X"}, {}, "\x05X\r", "a\\\\b\\tc\\r\\n\\x01\\x7F\\x85\xC3\xA9\n", 0, {}, {.reply = "a\\b\tc\r\n\x01\x7F\x85\xE9"}});
    row("unknown option", {{"--bogus", "A"}, {}, {}, {}, 2, "Unknown option 'bogus'"});
    row("-t -1: a negative timeout, not an option", {{"-t", "-1", "A"}, {}, "\x05" "A\r", "OK A\n"});
    row("-V, its output not written: exit 2", {{"-V"}, {}, {}, {}, 2, "Standard output cannot be written (No space left on device)", {}, Start::OutputToFullDisk});
    row("unit 256 has no two-digit frame", {{"-u", "256", "A"}, {}, {}, {}, 2, "The unit \"256\" is not a whole number from 0 to 255."});
    row("CR in a command argument: nothing sent", {{"A", "B\rC"}, {}, {}, {}, 2, "Command 2 holds a CR at position 2: the controller would take the rest for another command."});
    row("input line not UTF-8: named", {{}, "A\n\xFF\n", "\x05" "A\r", "OK A\n", 2, "Line 2 of standard input is not UTF-8"});
    row("parity that is no ASCII letter", {{"-s", "9600,\u017F,8,1", "A"}, {}, {}, {}, 2, "The line settings \"9600,\u017F,8,1\" cannot be used"});
    row("1.5 stop bits: refused, not run as 1", {{"-s", "9600,N,8,1.5", "A"}, {}, {}, {}, 2, "cannot take the line settings \"9600,N,8,1.5\""});
    row("missing device behind COMn", {{"-p", "COM9", "A"}, {}, {}, {}, 2, "COM9 (/dev/vantrel-missing) cannot be opened: there is no such device (mapped by VANTREL_COM9)"});
    row("ports file the technician may not read", {{"-p", "COM2", "A"}, {}, {}, {}, 2, "COM2 cannot be opened: HOME/vantrel/ports.conf cannot be read (", {}, Start::AsTechnician});
    row("timeout text: the command line's advice", {{"-t", "abc", "A"}, {}, {}, {}, 2, "The timeout \"abc\" is not a number of milliseconds. Give one such as -t 500.\n"});
    row("path to no serial device", {{"-p", "/dev/null", "A"}, {}, {}, {}, 2, "/dev/null cannot be opened: /dev/null is not a serial device.\n"});
    row("character the line cannot carry: nothing sent", {{"A", "\u20AC"}, {}, {}, {}, 2, "(U+20AC) at position 1"});
    row("started with 0, 1 and 2 closed: its warning not on the line", {{"-t", "100", "A"}, {}, "\x05" "A\r", {}, 1, {}, {.silent = true}, Start::DescriptorsClosed});
    // clang-format on
}
#pragma GCC diagnostic pop

void TestVantrelSend::runs()
{
    QFETCH(Run, r);
    SimulatedPlc plc(r.options);
    QProcess run;
    if (r.start == Start::DescriptorsClosed)
        run.setChildProcessModifier([] {
            for (int fd : {0, 1, 2})
                ::close(fd);
        });
    if (r.start == Start::OutputToFullDisk)
        run.setStandardOutputFile("/dev/full");
    (r.start == Start::AsTechnician ? OrdinaryUser::technician() : OrdinaryUser())
        .start(run, VANTREL_SEND, r.arguments);
    run.write(r.input);
    run.closeWriteChannel();
    // A controller played by hand answers each command once its CR has come, or, past the last
    // CR, once the whole wire has.
    for (qsizetype i = 0, end = 0; i < r.replies.size(); ++i) {
        const qsizetype cr = r.wire.indexOf('\r', end);
        end = cr < 0 ? r.wire.size() : cr + 1;
        QVERIFY(plc.engine.waitForReceived(end, 5000) && plc.engine.send(r.replies[i]));
    }
    QVERIFY(run.waitForFinished(20000));
    static const QRegularExpression time(R"(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}[+-]\d\d:\d\d)");
    QCOMPARE(QString::fromUtf8(run.readAllStandardOutput())
                 .replace(time, "TIME")
                 .remove(QRegularExpression(R"("ms":\d+,)")),
             QString::fromUtf8(r.output));
    QCOMPARE(run.exitCode(), r.status);
    const QString errors =
        QString::fromUtf8(run.readAllStandardError()).replace(home.path(), "HOME");
    const bool said = errors.startsWith("vantrel-send: ") && errors.contains(r.message);
    QVERIFY2(r.message.isEmpty() ? errors.isEmpty() : said, qPrintable(errors));
    QCOMPARE(plc.received(), r.wire);
}

QTEST_GUILESS_MAIN(TestVantrelSend)
#include "tst_vantrelsend.moc"
