#include "commandbox.h"
#include "commandhistory.h"
#include "detailsmargin.h"
#include "windowrig.h"

#include <QAccessible>
#include <QClipboard>
#include <QMimeData>
#include <QProcess>
#include <QTemporaryDir>
#include <QTextBlock>
#include <QToolTip>

#include <sys/mount.h>
#include <unistd.h>

namespace
{
const QString OPEN_AT = QStringLiteral("COM 1: Open at 9600,N,8,1\r\n");
const QString WARNING = QStringLiteral("(Warning: No Response from PLC)");
} // namespace

// One session at the window: the steps taken; then the log, the bytes the controller received,
// what the command box holds, whether the port is open, part of the one failure message shown
// (empty: none), the controller's options, and what the details of the log's second line say
// (empty: not looked at).
struct Session {
    QStringList steps;
    QString log;
    QByteArray wire;
    QString box;
    bool open = true;
    QString failure{};
    plcsim::PlcOptions plc{};
    QString outcome{}, reason{};
};

class TestWindow : public QObject
{
    Q_OBJECT
private slots:
    void sessions_data();
    void sessions();
    void commandHistoryBound();
    void saving_data();
    void saving();
};

void TestWindow::sessions_data()
{
    QTest::addColumn<Session>("s");
    // Steps: "enter:TEXT" (the command typed, then Return), "type:BOX:TEXT" (typed over a box),
    // "clipboard:TEXT" (put there), "drop:TEXT" (onto the command box), "key:KEYS" (pressed where
    // the focus is: at first the command box), or a button's name.
    const auto row = [](const char *name, const Session &s) { QTest::newRow(name) << s; };
    const QByteArray rd("\x05RD\r");
    const QStringList silentRD{"type:timeOutBox:100", "enter:RD"};
    const QString warned = OPEN_AT + WARNING + "\r\n", fcs = "@00RD D10003*";
    // clang-format off
    row("Enter with the port closed opens it first; a reply's details", {{"enter:RD"}, OPEN_AT + "OK RD\r\n", rd, "RD",
        true, {}, {}, "reply"});
    row("no reply: beep, then the warning; details: nothing came", {silentRD, warned, rd, "RD", true, {}, {.silent = true},
        "silent", "Nothing came in 100 ms after the command"});
    row("details: the ENQ not answered", {silentRD, warned, "\x05", "RD", true, {}, {.answerEnq = false},
        "no ENQ", "The controller did not answer the ENQ handshake"});
    row("details: replies ended CR LF", {silentRD, warned, rd, "RD", true, {}, {.crlf = true}, "no CR",
        "7 bytes came without a closing CR: OK RD‹CR›‹LF› - does the controller end replies with CR LF?"});
    row("details: a late reply", {silentRD, warned, rd, "RD", true, {}, {.pieces = 2, .pauseMs = 500},
        "no CR", "does the controller answer later than 100 ms?"});
    row("details: a bad FCS", {{"enter:" + fcs}, OPEN_AT + "@00OKRD D10000*\r\n", (fcs + "\r").toLatin1(), fcs,
        true, {}, {.badFcs = true}, "bad FCS", "The reply fails its frame check"});
    row("a blank reply is a reply", {{"enter:RD"}, OPEN_AT + " \r\n", rd, "RD", true, {}, {.reply = " "}});
    row("empty command, by Enter and the keypad's Enter; one Open-at line", {{"enter:", "key:Num+Enter"},
        OPEN_AT + "OK \r\nOK \r\n", "\x05\r\x05\r", ""});
    row("Open/Close Port: nothing more logged, Space then goes to the command box",
        {{"openPort", "key:Space", "closePort", "key:Space"}, OPEN_AT, "", "  ", false});
    row("Clear while open; the next line is the first", {{"openPort", "clearButton", "enter:RD"}, "OK RD\r\n", rd, "RD"});
    row("new choices take effect at the next open",
        {{"openPort", "closePort", "type:baudChoice:57600", "type:parityChoice:Even", "openPort"},
         OPEN_AT + "COM 1: Open at 57600,E,8,1\r\n", "", ""});
    row("Exit with the port open closes it, logs nothing", {{"openPort", "ExitButton"}, OPEN_AT, "", "", false});
    row("unusable timeout: nothing sent, nothing opened", {{"type:timeOutBox:", "enter:RD"}, "", "", "RD", false,
        "The timeout \"\" is not a number"});
    row("typed port text matches no entry: the refusal says so, and where devices are named",
        {{"type:portChoice:COM9", "openPort"}, "", "", "", false,
         "Port Name holds \"COM9\", which is not one of its entries (COM1, COM2, COM3, COM4, COM5, COM6): "
         "only these ports can be chosen. A device is given one of their names in the ports file, "});
    row("typed text is not completed to an entry, and the refusal keeps it", {{"type:baudChoice:96", "openPort"},
        "", "", "", false, "The line settings \",N,8,1\" cannot be used: the baud rate must be a positive "
        "whole number. Baud Rate holds \"96\", which is not one of its entries (1200, 2400, "});
    row("a pasted CR: only the first line goes out, and the operator is told",
        {{"clipboard:RD\rWR D2 5", "key:Ctrl+V", "key:Return"}, OPEN_AT + "OK RD\r\n", rd, "RD", true, "Only the first line"});
    row("a dropped line's CR LF is left out, with nothing to tell", {{"drop:RD\r\n", "key:Return"}, OPEN_AT + "OK RD\r\n", rd, "RD"});
    row("a paste past the longest command is refused: none of it goes out",
        {{"clipboard:" + QString(70000, 'A'), "key:Ctrl+V", "key:Return"}, OPEN_AT + "OK \r\n", "\x05\r", "", true, "at most"});
    row("history: Up skips the command the box holds", {{"enter:A", "enter:B", "key:Up"},
        OPEN_AT + "OK A\r\nOK B\r\n", "\x05" "A\r\x05" "B\r", "A"});
    row("history: Up stops at the oldest, Down past the newest brings back the draft",
        {{"enter:A", "type:commandString:draft", "key:Up", "key:Up", "key:Down", "key:Down"},
         OPEN_AT + "OK A\r\n", "\x05" "A\r", "draft"});
    // clang-format on
}

void TestWindow::sessions()
{
    QFETCH(Session, s);
    WindowRig rig(s.plc);
    QVERIFY(rig.shown());
    for (const QString &step : s.steps) {
        const QString kind = step.section(':', 0, 0), text = step.section(':', 1);
        if (kind == "enter")
            rig.send(text);
        else if (kind == "type") {
            const QString name = text.section(':', 0, 0);
            auto *list = rig.window.findChild<QComboBox *>(name);
            QLineEdit *field = list ? list->lineEdit() : rig.control<QLineEdit>(qPrintable(name));
            field->clear();
            field->setFocus();
            QTest::keyClicks(field, text.section(':', 1));
        } else if (kind == "clipboard")
            QApplication::clipboard()->setText(text);
        else if (kind == "drop") {
            QMimeData data;
            data.setText(text);
            QDragEnterEvent enter({5, 5}, Qt::CopyAction, &data, Qt::LeftButton, {});
            QDropEvent drop({5, 5}, Qt::CopyAction, &data, Qt::LeftButton, {});
            QApplication::sendEvent(rig.commandString(), &enter);
            QApplication::sendEvent(rig.commandString(), &drop);
        } else if (kind == "key") {
            const QKeyCombination key = QKeySequence(text)[0];
            QTest::keyClick(rig.window.focusWidget(), key.key(), key.keyboardModifiers());
        } else
            rig.click(qPrintable(kind));
    }

    QCOMPARE(rig.log(), s.log);
    QCOMPARE(rig.plc.received(), s.wire);
    // Enter puts nothing into the box, and the command stays there for the next Enter.
    QCOMPARE(rig.commandString()->text(), s.box);
    QCOMPARE(rig.ended, s.steps.contains("ExitButton"));
    QVERIFY2(rig.failures.size() == !s.failure.isEmpty() &&
                 rig.failures.join("").contains(s.failure),
             qPrintable(rig.failures.join('|')));
    // One beep per warning line, each sounded before its line was added.
    QCOMPARE(rig.logAtBeep.size(), s.log.count(WARNING));
    for (const QString &before : rig.logAtBeep)
        QVERIFY(s.log.startsWith(before + WARNING + "\r\n"));
    // The controls tell the port's state.
    QCOMPARE(rig.control<QPushButton>("closePort")->isEnabled(), s.open);
    for (const char *name : {"openPort", "portChoice", "baudChoice", "dataBitChoice",
                             "stopBitChoice", "parityChoice", "timeOutBox"})
        QCOMPARE(rig.control<QWidget>(name)->isEnabled(), !s.open);
    if (s.outcome.isEmpty())
        return;

    // The exchange's details beside the log's unchanged text: the tool tip over its line, the
    // description a screen reader gives at the caret, and the details margin.
    ResponseBox *log = rig.responseBox();
    log->setTextCursor(QTextCursor(log->document()->findBlockByNumber(1)));
    const QPoint over = log->cursorRect().center() + QPoint(2, 0);
    QHelpEvent hover(QEvent::ToolTip, over, log->viewport()->mapToGlobal(over));
    QApplication::sendEvent(log->viewport(), &hover);
    for (const QString &details :
         {QToolTip::text().replace("<br>", "\n"),
          QAccessible::queryAccessibleInterface(log)->text(QAccessible::Description)}) {
        QVERIFY2(details.contains("Sent: " + s.box) && details.contains("Outcome: " + s.outcome) &&
                     details.contains(s.reason) && details.contains("COM1 (") &&
                     details.contains(" at 9600,N,8,1"),
                 qPrintable(details));
    }
    rig.logMenu("Show Details");
    const QString margin = QAccessible::queryAccessibleInterface(log->findChild<DetailsMargin *>())
                               ->text(QAccessible::Value);
    const QRegularExpression row("^\\d\\d:\\d\\d:\\d\\d\\.\\d{3} +\\d+ ms " + s.outcome + "$");
    QVERIFY2(margin.contains(row), qPrintable(margin));
}

// The history is bounded by size: past it the oldest commands go, and Up stops at the oldest kept.
void TestWindow::commandHistoryBound()
{
    CommandBox box; // a plain QLineEdit would cut the commands to 32,767 characters
    new CommandHistory(&box);
    const auto command = [](int i) { return QString(CommandBox::kLongestCommand, QChar('a' + i)); };
    const int kept = CommandHistory::kKeptCharacters / CommandBox::kLongestCommand;
    for (int i = 0; i <= kept; ++i) {
        box.setText(command(i));
        QTest::keyClick(&box, Qt::Key_Return);
    }
    for (int i = 0; i <= kept; ++i)
        QTest::keyClick(&box, Qt::Key_Up);
    QCOMPARE(box.text(), command(1));
}

// Save Log As and Save Transcript As, through the log's context menu as the operator does it, as
// an ordinary user (root writes where a technician could not), after two replies of every byte
// but CR with Clear between them. The log file holds the bytes received; a device is refused and
// a full file system named, with nothing half written. The transcript holds every exchange, Clear
// or not, read back by Python's own CSV and JSON readers with the replies' bytes exact; past its
// bound it says how many exchanges it dropped.
void TestWindow::saving_data()
{
    // The target: "" when the dialog is cancelled; a transcript's ends .csv or .jsonl.
    QTest::addColumn<QString>("target");
    QTest::addColumn<QString>("failure");
    QTest::addColumn<QByteArray>("saved"); // the file's bytes; for a transcript, what Python reads
    const QByteArray none("(no file)");
    const QByteArray reply = "('reply', '" + WindowRig::everyByte().toHex() + "')";
    const QByteArray replies = "[" + reply + ", " + reply + "]\n";
    // clang-format off
    QTest::newRow("log: cancelled, nothing written") << "" << "" << none;
    QTest::newRow("log: a new file holds the bytes received") << "log.txt" << "" << WindowRig::everyByte() + "\r\n";
    QTest::newRow("log: a device node is refused and stays one") << "/dev/null" << "is not a regular file" << QByteArray("");
    QTest::newRow("log: a full file system is named") << "full/log.txt" << "no space left on the device" << none;
    QTest::newRow("transcript: CSV") << "all.csv" << "" << replies;
    QTest::newRow("transcript: JSON lines") << "all.jsonl" << "" << replies;
    QTest::newRow("transcript past its bound: CSV") << "dropped.csv" << "" << QByteArray("[('dropped', '2')]\n");
    QTest::newRow("transcript past its bound: JSON lines") << "dropped.jsonl" << "" << QByteArray("[('dropped', '2')]\n");
    // clang-format on
}

void TestWindow::saving()
{
    QFETCH(QString, target);
    QFETCH(QString, failure);
    QFETCH(QByteArray, saved);
    QTemporaryDir temporary;
    const QDir dir(temporary.path());
    const auto path = [&](const QString &name) { return QFile::encodeName(dir.filePath(name)); };
    QVERIFY(::chown(path("."), 65534, 65534) == 0 || ::geteuid() != 0);
    const auto unmount = qScopeGuard([&] { ::umount2(path("full"), MNT_DETACH); });
    if (target.startsWith("full/")) {
        QVERIFY(dir.mkdir("full"));
        if (::mount("tmpfs", path("full"), "tmpfs", 0, "size=16k,mode=0777") != 0)
            QSKIP("cannot mount a small file system here (needs root)");
        QFile filler(dir.filePath("full/filler"));
        QVERIFY(filler.open(QIODevice::WriteOnly | QIODevice::Unbuffered));
        while (filler.write(QByteArray(512, 'f')) > 0) {
        }
    }

    WindowRig rig({.reply = WindowRig::everyByte().toStdString()});
    rig.send("RD D1");
    rig.click("clearButton");
    rig.send("RD D2");
    if (target.startsWith("dropped"))
        rig.window.transcript.setKeptBytes(0);
    const bool transcript = target.endsWith(".csv") || target.endsWith(".jsonl");
    (transcript ? rig.transcriptFile : rig.logFile) = target.isEmpty() ? "" : dir.filePath(target);
    {
        const bool root = ::geteuid() == 0;
        QVERIFY(!root || (::setegid(65534) == 0 && ::seteuid(65534) == 0));
        const auto backToRoot = qScopeGuard([&] {
            if (root && (::seteuid(0) != 0 || ::setegid(0) != 0))
                qFatal("cannot become root again");
        });
        rig.logMenu(transcript ? "Save Transcript As…" : "Save Log As…");
    }
    QVERIFY2(rig.failures.size() == !failure.isEmpty() && rig.failures.join("").contains(failure),
             qPrintable(rig.failures.join('|')));

    QByteArray got = "(no file)";
    QFile file(dir.filePath(target));
    if (transcript) {
        QProcess python;
        python.setProcessChannelMode(QProcess::MergedChannels); // an error shows in the comparison
        python.start("python3", {"-c", R"(import csv, json, sys
with open(sys.argv[1], newline='', encoding='utf-8') as f:
    rows = list(csv.DictReader(f)) if sys.argv[1].endswith('.csv') else [json.loads(l) for l in f]
print([(r['outcome'], (r.get('reply') or '').encode('latin-1').hex() or r['reason'].split()[0])
       for r in rows]))",
                                 file.fileName()});
        QVERIFY(python.waitForFinished());
        got = python.readAll();
    } else if (file.open(QIODevice::ReadOnly))
        got = file.readAll();
    QCOMPARE(got, saved);
}

QTEST_MAIN(TestWindow)
#include "tst_window.moc"
