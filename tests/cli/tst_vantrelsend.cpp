#include "simulatedplc.h"

#include <QProcess>
#include <QRegularExpression>
#include <QTest>

#include <unistd.h>

// One run: the arguments, the input; what the controller received, the output, the exit status
// and part of the message on standard error (empty: nothing there); the controller's options.
struct Run {
    QStringList arguments;
    QByteArray input;
    QByteArray wire;
    QByteArray output;
    int status = 0;
    QString message{};
    plcsim::PlcOptions options{};
    bool standardDescriptorsClosed = false;
};

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
    row("silent controller", {{"-t", "100", "A"}, {}, "\x05" "A\r", "\n", 1, "\"A\": (Warning: No Response from PLC)", {.silent = true}});
    row("input lines: CR dropped, empty line sent", {{}, "A\r\n\nB", "\x05" "A\r\x05\r\x05" "B\r", "OK A\nOK \nOK B\n"});
    row("reply escaped to one line", {{"X"}, {}, "\x05X\r", "a\\\\b\\tc\\r\\n\\x01\\x7F\\x85\xC3\xA9\n", 0, {},
        {.reply = "a\\b\tc\r\n\x01\x7F\x85\xE9"}});
    row("unknown option", {{"--bogus", "A"}, {}, {}, {}, 2, "Unknown option 'bogus'"});
    row("parity that is no ASCII letter", {{"-s", "9600,\u017F,8,1", "A"}, {}, {}, {}, 2, "The line settings \"9600,\u017F,8,1\" cannot be used"});
    row("1.5 stop bits: refused, not run as 1", {{"-s", "9600,N,8,1.5", "A"}, {}, {}, {}, 2, "cannot take the line settings \"9600,N,8,1.5\""});
    row("missing device behind COMn", {{"-p", "COM9", "A"}, {}, {}, {}, 2, "COM9 (/dev/vantrel-missing) cannot be opened: there is no such device (mapped by VANTREL_COM9)"});
    row("character the line cannot carry: nothing sent", {{"A", "\u20AC"}, {}, {}, {}, 2, "(U+20AC) at position 1"});
    row("started with 0, 1 and 2 closed: its warning not on the line", {{"-t", "100", "A"}, {}, "\x05" "A\r", {}, 1, {}, {.silent = true}, true});
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
    run.start(QStringLiteral(VANTREL_SEND), r.arguments);
    run.write(r.input);
    run.closeWriteChannel();
    QVERIFY(run.waitForFinished(20000));
    QCOMPARE(run.readAllStandardOutput(), r.output);
    QCOMPARE(run.exitCode(), r.status);
    const QString errors = QString::fromUtf8(run.readAllStandardError());
    const bool said = errors.startsWith("vantrel-send: ") && errors.contains(r.message);
    QVERIFY2(r.message.isEmpty() ? errors.isEmpty() : said, qPrintable(errors));
    QCOMPARE(plc.received(), r.wire);
}

// One run through every outcome, the controller's part played by hand: a good frame, a bad FCS,
// a reply that ends CR LF (no reply; its text waits in the buffer), then the next reply with that
// text in front.
void TestVantrelSend::json()
{
    SimulatedPlc plc({.silent = true});
    QProcess run;
    run.start(QStringLiteral(VANTREL_SEND),
              {"--json", "-u", "1", "-t", "1000", "RD", "WR", "X", "Y"});
    QByteArray wire;
    const std::pair<const char *, const char *> steps[]{{"@01RD57*", "@01OKRD53*\r"},
                                                        {"@01WR44*", "@01OKWR00*\r"},
                                                        {"@01X19*", "late\r\n"},
                                                        {"@01Y18*", "Z\r"}};
    for (const auto &[frame, reply] : steps) {
        wire += QByteArray(frame) + '\r';
        QVERIFY(plc.engine.waitForReceived(wire.size(), 5000) && plc.engine.send(reply));
    }
    QVERIFY(run.waitForFinished(20000));
    QCOMPARE(run.exitCode(), 1);
    QCOMPARE(plc.received(), wire);
    // Compact JSON lists the keys in order; "ms" is the only one that varies.
    QString lines = QString::fromUtf8(run.readAllStandardOutput());
    QCOMPARE(lines.remove(QRegularExpression(R"("ms":[0-9.]+,)")),
             R"({"command":"RD","reply":"@01OKRD53*","sent":"@01RD57*","status":"reply"}
{"command":"WR","reply":"@01OKWR00*","sent":"@01WR44*","status":"bad-fcs"}
{"command":"X","reply":null,"sent":"@01X19*","status":"no-response"}
{"command":"Y","reply":"late\r\nZ","sent":"@01Y18*","status":"reply"}
)");
}

QTEST_GUILESS_MAIN(TestVantrelSend)
#include "tst_vantrelsend.moc"
