#include "escapeline.h"
#include "mscomm.h"
#include "plcframe.h"
#include "portlockfile.h"
#include "simulatedplc.h"

#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTest>

#include <csignal>

using Options = plcsim::PlcOptions;

namespace
{

const QString kWarning = QStringLiteral("(Warning: No Response from PLC)");

// vantrel-send started with arguments, input written to it and its input then closed.
struct SendRun {
    SendRun(const QStringList &arguments, const QByteArray &input = {})
    {
        process.start(QStringLiteral(VANTREL_SEND), arguments);
        process.write(input);
        process.closeWriteChannel();
    }
    bool finish() { return process.waitForFinished(20000); }
    QByteArray output() { return process.readAllStandardOutput(); }
    QString errors() { return QString::fromUtf8(process.readAllStandardError()); }

    QProcess process;
};

// Undoes escapeLine, written apart from it: the line must be one UTF-8 line of escapes and
// printable characters.
std::optional<QByteArray> unescape(const QByteArray &line)
{
    const QString text = QString::fromUtf8(line);
    if (text.toUtf8() != line)
        return std::nullopt;
    QByteArray bytes;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t c = text.at(i).unicode();
        if (c < 0x20 || (c >= 0x7F && c < 0xA0) || c > 0xFF)
            return std::nullopt;
        if (c != u'\\') {
            bytes += char(c);
            continue;
        }
        const QChar kind = ++i < text.size() ? text.at(i) : QChar();
        const QHash<QChar, char> named{{u'\\', '\\'}, {u'r', '\r'}, {u'n', '\n'}, {u't', '\t'}};
        bool hex = false;
        const int code = text.mid(i + 1, 2).toInt(&hex, 16);
        if (named.contains(kind)) {
            bytes += named.value(kind);
        } else if (kind == u'x' && hex && text.mid(i + 1, 2).size() == 2) {
            bytes += char(code);
            i += 2;
        } else {
            return std::nullopt;
        }
    }
    return bytes;
}

bool lockFileLeft(const QString &device)
{
    for (const QString &candidate : lockFileCandidates(device))
        if (QFileInfo::exists(candidate))
            return true;
    return false;
}

} // namespace

// vantrel-send against a simulated controller on a real pseudo-terminal mapped to COM1.
class TestVantrelSend : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void modes_data();
    void modes();
    void conversation();
    void failures_data();
    void failures();
    void stopSignal_data();
    void stopSignal();
    void escapesRoundTrip();
    void information_data();
    void information();
};

void TestVantrelSend::initTestCase()
{
    qputenv("VANTREL_COM9", "/dev/vantrel-missing");
}

void TestVantrelSend::modes_data()
{
    QTest::addColumn<Options>("options");
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<QByteArray>("wire");
    QTest::addColumn<QByteArray>("output");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("warning"); // on standard error; empty: nothing there

    const auto row = [](const char *name, const QStringList &arguments, const QByteArray &input,
                        const QByteArray &wire, const QByteArray &output, int status = 0,
                        const QString &warning = {}, const Options &options = {}) {
        QTest::newRow(name) << options << arguments << input << wire << output << status << warning;
    };
    const QString noResponse = "\"A\": " + kWarning;
    // clang-format off
    row("handshake", {"RD D100"}, {}, "\x05RD D100\r", "OK RD D100\n");
    row("frame goes out without handshake", {"@00abc20*"}, {}, "@00abc20*\r", "@00OKabc24*\n");
    row("--unit frames the command", {"-u", "0", "abc"}, {}, "@00abc20*\r", "@00OKabc24*\n");
    row("--no-handshake", {"--no-handshake", "RD D100"}, {}, "RD D100\r", "OK RD D100\n", 0, {}, {.answerEnq = false});
    row("no handshake answer: each command sends only ENQ", {"-t", "100", "A", "B"}, {}, "\x05\x05", "\n\n", 1, noResponse, {.answerEnq = false});
    row("silent controller", {"-t", "100", "A"}, {}, "\x05" "A\r", "\n", 1, noResponse, {.silent = true});
    row("input lines: CR dropped, empty line sent", {}, "A\r\n\nB", "\x05" "A\r\x05\r\x05" "B\r", "OK A\nOK \nOK B\n");
    row("reply escaped to one line", {"X"}, {}, "\x05X\r", "a\\\\b\\tc\\r\\n\\x01\\x7F\\x85\xC3\xA9\n", 0, {},
        {.reply = "a\\b\tc\r\n\x01\x7F\x85\xE9"});
    row("Latin-1 command", {"\u00E9"}, {}, "\x05\xE9\r", "OK \xC3\xA9\n");
    // clang-format on
}

void TestVantrelSend::modes()
{
    QFETCH(Options, options);
    QFETCH(QStringList, arguments);
    QFETCH(QByteArray, input);
    QFETCH(QByteArray, wire);
    QFETCH(QByteArray, output);
    QFETCH(int, status);
    QFETCH(QString, warning);

    SimulatedPlc plc(options);
    SendRun run(arguments, input);
    QVERIFY(run.finish());
    QCOMPARE(run.output(), output);
    QCOMPARE(run.process.exitCode(), status);
    const QString errors = run.errors();
    QVERIFY2(warning.isEmpty() ? errors.isEmpty() : errors.contains(warning), qPrintable(errors));
    QCOMPARE(plc.received(), wire);
}

// One run through every outcome, the controller's part played by hand: a good frame, a bad
// FCS, a reply that ends CR LF (no reply; its text waits in the buffer), the next reply with
// that text in front, then half a reply and a hang-up, after which nothing more is sent.
void TestVantrelSend::conversation()
{
    SimulatedPlc plc({.silent = true});
    SendRun run({"--json", "-u", "1", "-t", "1000", "RD", "WR", "X", "Y", "W", "V"});
    QByteArray wire;
    const auto answer = [&](const QByteArray &frame, const std::string &reply) {
        wire += frame + '\r';
        return plc.engine.waitForReceived(wire.size(), 5000) && plc.engine.send(reply);
    };
    const std::string good = "@01OKRD" + plcsim::frameCheck("@01OKRD") + "*\r";
    QVERIFY(answer("@01RD57*", good));
    QVERIFY(answer("@01WR44*", "@01OKWR00*\r"));
    QVERIFY(answer("@01X19*", "late\r\n"));
    QVERIFY(answer("@01Y18*", "Z\r"));
    QVERIFY(answer("@01W16*", "@01OK"));
    QTRY_VERIFY_WITH_TIMEOUT(!plc.terminal.slaveHasUnread(), 5000);
    plc.engine.stop();
    plc.terminal.hangUp();

    QVERIFY(run.finish());
    QCOMPARE(run.process.exitCode(), 2);
    QVERIFY(run.errors().contains("went away"));
    QCOMPARE(plc.received(), wire);
    const QList<QByteArray> lines = run.output().split('\n');
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

void TestVantrelSend::failures_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<bool>("held"); // COM1 held by another opener
    QTest::addColumn<QByteArray>("wire");
    QTest::addColumn<QByteArray>("output");
    QTest::addColumn<QString>("message");

    const auto row = [](const char *name, const QStringList &arguments, const QString &message,
                        const QByteArray &input = {}, const QByteArray &wire = {},
                        const QByteArray &output = {}, bool held = false) {
        QTest::newRow(name) << arguments << input << held << wire << output << message;
    };
    // clang-format off
    row("unknown option", {"--bogus", "A"}, "Unknown option 'bogus'");
    row("bad timeout", {"-t", "abc", "A"}, "The timeout \"abc\" is not a number");
    row("bad settings", {"-s", "9600,N,9,1", "A"}, "\"9600,N,9,1\" cannot be used");
    row("bad unit", {"-u", "x", "A"}, "The unit \"x\" is not a whole number");
    row("bad port", {"-p", "LPT1", "A"}, "\"LPT1\" is neither COMn");
    row("missing device path", {"-p", "/dev/vantrel-missing", "A"}, "/dev/vantrel-missing cannot be opened: there is no such device");
    row("missing device behind COMn", {"-p", "COM9", "A"}, "COM9 (/dev/vantrel-missing) cannot be opened: there is no such device (mapped by VANTREL_COM9)");
    row("port in use", {"A"}, "in use by another program", {}, {}, {}, true);
    row("character the line cannot carry: nothing sent", {"A", "\u20AC"}, "(U+20AC) at position 1");
    row("same on input: the commands before it are answered", {}, "(U+20AC) at position 1",
        "A\n\u20AC\nB\n", "\x05" "A\r", "OK A\n");
    // clang-format on
}

void TestVantrelSend::failures()
{
    QFETCH(QStringList, arguments);
    QFETCH(QByteArray, input);
    QFETCH(bool, held);
    QFETCH(QByteArray, wire);
    QFETCH(QByteArray, output);
    QFETCH(QString, message);

    SimulatedPlc plc;
    MSComm holder;
    if (held)
        holder.setPortOpen(true);
    SendRun run(arguments, input);
    QVERIFY(run.finish());
    QCOMPARE(run.process.exitCode(), 2);
    QCOMPARE(run.output(), output);
    const QString errors = run.errors();
    QVERIFY2(errors.startsWith("vantrel-send: ") && errors.contains(message), qPrintable(errors));
    QCOMPARE(plc.received(), wire);
}

void TestVantrelSend::stopSignal_data()
{
    QTest::addColumn<int>("signalNumber");
    QTest::newRow("SIGTERM") << SIGTERM;
    QTest::newRow("SIGINT") << SIGINT;
}

// A signal in the middle of a long wait ends the program at once and frees the port for the
// next opener, lock file and all.
void TestVantrelSend::stopSignal()
{
    QFETCH(int, signalNumber);

    SimulatedPlc plc({.silent = true});
    const QString device = QString::fromStdString(plc.terminal.slavePath());
    SendRun run({"-t", "60000", "A", "B"});
    QVERIFY(plc.engine.waitForReceived(3, 5000));
    QVERIFY(lockFileLeft(device));
    ::kill(static_cast<pid_t>(run.process.processId()), signalNumber);
    QVERIFY(run.process.waitForFinished(5000));
    QCOMPARE(run.process.exitCode(), 128 + signalNumber);
    QVERIFY(!lockFileLeft(device));
    QCOMPARE(plc.received(), QByteArray("\x05"
                                        "A\r"));
    MSComm next;
    next.setPortOpen(true);
    QVERIFY(next.PortOpen());
}

void TestVantrelSend::escapesRoundTrip()
{
    QString every;
    for (int code = 0; code < 256; ++code) {
        const QString one = QChar(char16_t(code));
        QCOMPARE(unescape(escapeLine(one)), std::optional(one.toLatin1()));
        every += one;
    }
    QCOMPARE(unescape(escapeLine(every)), std::optional(every.toLatin1()));
    // Backslashes next to what looks like an escape stay apart.
    QCOMPARE(unescape(escapeLine("\\x41\\\\r")), std::optional(QByteArray("\\x41\\\\r")));
}

void TestVantrelSend::information_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("expected");
    QTest::newRow("--help") << QStringList{"--help"} << "\nExit status:\n";
    QTest::newRow("--version") << QStringList{"--version"} << "vantrel-send " VANTREL_VERSION "\n";
    QTest::newRow("--list-ports") << QStringList{"--list-ports"}
                                  << "COM1: %1 (from VANTREL_COM1), present\n";
}

void TestVantrelSend::information()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, expected);

    SimulatedPlc plc;
    SendRun run(arguments);
    QVERIFY(run.finish());
    QCOMPARE(run.process.exitCode(), 0);
    const QString output = QString::fromUtf8(run.output());
    expected.replace("%1", QString::fromStdString(plc.terminal.slavePath()));
    QVERIFY2(output.contains(expected), qPrintable(output));
    // One screen: 24 lines of 80 columns.
    const QStringList lines = output.split('\n');
    QVERIFY(lines.size() <= 25);
    for (const QString &line : lines)
        QVERIFY2(line.size() <= 80, qPrintable(line));
}

QTEST_GUILESS_MAIN(TestVantrelSend)
#include "tst_vantrelsend.moc"
