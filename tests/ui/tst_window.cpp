#include "commandbox.h"
#include "commandhistory.h"
#include "detailsmargin.h"
#include "framing.h"
#include "windowrig.h"

#include <QAccessible>
#include <QClipboard>
#include <QLabel>
#include <QMimeData>
#include <QProcess>
#include <QTemporaryDir>
#include <QTextBlock>
#include <QToolTip>

#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

using Options = plcsim::PlcOptions;

namespace
{
const QString CRLF = QStringLiteral("\r\n");
const QString OPEN_AT = QStringLiteral("COM 1: Open at 9600,N,8,1\r\n");
const QString WARNING = QStringLiteral("(Warning: No Response from PLC)");
// Usable only while the port is closed.
const char *const CLOSED_ONLY[] = {"openPort",      "portChoice",   "baudChoice", "dataBitChoice",
                                   "stopBitChoice", "parityChoice", "timeOutBox"};
} // namespace

class TestWindow : public QObject
{
    Q_OBJECT
private slots:
    void nothingClipped();
    void tabOrder();
    void behaviour_data();
    void behaviour();
    void exchangeDetails_data();
    void exchangeDetails();
    void transcript();
    void commandHistory();
    void saveLog_data();
    void saveLog();
};

void TestWindow::nothingClipped()
{
    vantrel window;
    window.show();                                    // sizes the boxes' text fields
    QList<std::tuple<QWidget *, QString, int>> shown; // control, text, room for it
    for (auto *label : window.findChildren<QLabel *>())
        shown.append({label, label->text(), label->contentsRect().width()});
    for (auto *button : window.findChildren<QPushButton *>())
        shown.append({button, button->text(), button->width() - 8}); // the frame, a little air
    for (auto *box : window.findChildren<QComboBox *>())
        for (int i = 0; i < box->count(); ++i)
            shown.append({box, box->itemText(i), box->lineEdit()->width()});
    for (const auto &[control, text, room] : shown)
        QVERIFY2(control->fontMetrics().horizontalAdvance(text) <= room, qPrintable(text));
}

void TestWindow::tabOrder()
{
    WindowRig rig;
    rig.window.show();
    rig.window.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&rig.window));

    // Each stop of the Tab key as a screen reader announces it: boxes by their labels.
    QStringList announced;
    for (int i = 0; i < 12; ++i) {
        QAccessibleInterface *focus = QAccessible::queryAccessibleInterface(&rig.window);
        while (focus->focusChild() && focus->focusChild() != focus)
            focus = focus->focusChild();
        announced << focus->text(QAccessible::Name);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    }
    // Close Port is disabled after load and skipped; Tab leaves the response box.
    const QString command = "Command String (Press <Enter> to send";
    QCOMPARE(announced, QStringList({command, "Exit", "Port Name :", "Data Bits:", "Parity :",
                                     "Baud Rate:", "Stop Bits :", "Open Port", "Clear",
                                     "Response Strings", "Timeout (ms) :", command}));
}

void TestWindow::behaviour_data()
{
    QTest::addColumn<Options>("options");
    QTest::addColumn<QStringList>("steps");
    QTest::addColumn<QString>("log");
    QTest::addColumn<QByteArray>("wire");
    QTest::addColumn<bool>("portOpen");
    QTest::addColumn<QString>("failure"); // part of the message shown, or empty

    // Steps: "enter:TEXT" (Return), "kpenter:TEXT" (keypad Enter), "type:BOX:TEXT" (typed over
    // a settings box), "paste:TEXT" or "drop:TEXT" (into the empty command box), "return" (Return
    // on what the box holds), "space" (Space where the focus is: the command box), or a button's
    // name.
    const auto row = [](const char *name, const QStringList &steps, const QString &log,
                        const QByteArray &wire, bool portOpen, const QString &failure = {},
                        const Options &options = {}) {
        QTest::newRow(name) << options << steps << log << wire << portOpen << failure;
    };
    const QByteArray sentRD("\x05RD\r");
    // clang-format off
    row("Enter with the port closed opens it first", {"enter:RD"}, OPEN_AT + "OK RD" + CRLF, sentRD, true);
    row("no reply: beep, then the warning", {"type:timeOutBox:100", "enter:RD"}, OPEN_AT + WARNING + CRLF,
        sentRD, true, {}, {.silent = true});
    row("a blank reply is a reply", {"enter:RD"}, OPEN_AT + " " + CRLF, sentRD, true, {}, {.reply = " "});
    row("empty command, by Enter and the keypad's Enter; one Open-at line", {"enter:", "kpenter:"},
        OPEN_AT + "OK " + CRLF + "OK " + CRLF, "\x05\r\x05\r", true);
    row("Open/Close Port: nothing more logged, Space then goes to the command box",
        {"openPort", "space", "closePort", "space"}, OPEN_AT, "", false);
    row("Clear while open; the next line is the first", {"openPort", "clearButton", "enter:RD"},
        "OK RD" + CRLF, sentRD, true);
    row("new choices take effect at the next open",
        {"openPort", "closePort", "type:baudChoice:57600", "type:parityChoice:Even", "openPort"},
        OPEN_AT + "COM 1: Open at 57600,E,8,1" + CRLF, "", true);
    row("Exit with the port open closes it, logs nothing", {"openPort", "ExitButton"}, OPEN_AT, "", false);
    row("unusable timeout: nothing sent, nothing opened", {"type:timeOutBox:", "enter:RD"}, "", "", false,
        "The timeout \"\" is not a number");
    row("typed port text matches no entry: the refusal says so, and where devices are named",
        {"type:portChoice:COM9", "openPort"}, "", "", false,
        "Port Name holds \"COM9\", which is not one of its entries (COM1, COM2, COM3, COM4, COM5, "
        "COM6): only these ports can be chosen. A device is given one of their names in the ports file, ");
    row("typed text is not completed to an entry, and the refusal keeps it", {"type:baudChoice:96", "openPort"},
        "", "", false, "The line settings \",N,8,1\" cannot be used: the baud rate must be a positive "
        "whole number. Baud Rate holds \"96\", which is not one of its entries (1200, 2400, ");
    row("a pasted CR: only the first line goes out, and the operator is told", {"paste:RD\rWR D2 5", "return"},
        OPEN_AT + "OK RD" + CRLF, sentRD, true, "Only the first line");
    row("a dropped line's CR LF is left out, with nothing to tell", {"drop:RD\r\n", "return"},
        OPEN_AT + "OK RD" + CRLF, sentRD, true);
    row("a paste past the longest command is refused", {"paste:" + QString(70000, 'A')}, "", "", false,
        "at most");
    // clang-format on
}

void TestWindow::behaviour()
{
    QFETCH(Options, options);
    QFETCH(QStringList, steps);
    QFETCH(QString, log);
    QFETCH(QByteArray, wire);
    QFETCH(bool, portOpen);
    QFETCH(QString, failure);

    WindowRig rig(options);
    rig.window.show();
    rig.window.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&rig.window));
    QString typed;
    for (const QString &step : steps) {
        const QString arg = step.section(':', 1);
        if (step.startsWith("enter:") || step.startsWith("kpenter:"))
            rig.send(typed = arg, step.startsWith("kp") ? Qt::Key_Enter : Qt::Key_Return);
        else if (step.startsWith("type:")) {
            const QString name = arg.section(':', 0, 0);
            auto *box = rig.window.findChild<QComboBox *>(name);
            QLineEdit *field = box ? box->lineEdit() : rig.control<QLineEdit>(qPrintable(name));
            field->clear();
            field->setFocus();
            QTest::keyClicks(field, arg.section(':', 1));
        } else if (step.startsWith("paste:") || step.startsWith("drop:")) {
            QLineEdit *box = rig.commandString();
            box->clear();
            QMimeData data;
            data.setText(arg);
            QApplication::clipboard()->setText(arg);
            if (step.startsWith("drop:")) {
                QDragEnterEvent enter({5, 5}, Qt::CopyAction, &data, Qt::LeftButton, {});
                QDragMoveEvent move({5, 5}, Qt::CopyAction, &data, Qt::LeftButton, {});
                QDropEvent drop({5, 5}, Qt::CopyAction, &data, Qt::LeftButton, {});
                for (QEvent *event : std::initializer_list<QEvent *>{&enter, &move, &drop})
                    QApplication::sendEvent(box, event);
            } else
                QTest::keyClick(box, Qt::Key_V, Qt::ControlModifier);
            typed = box->text();
        } else if (step == "return") {
            QTest::keyClick(rig.commandString(), Qt::Key_Return);
        } else if (step == "space") {
            QTest::keyClick(rig.window.focusWidget(), Qt::Key_Space);
            typed += ' ';
        } else
            rig.click(qPrintable(step));
    }

    QCOMPARE(rig.log(), log);
    QCOMPARE(rig.plc.received(), wire);
    QCOMPARE(rig.ended, steps.contains("ExitButton"));
    QVERIFY2(rig.failures.size() == (failure.isEmpty() ? 0 : 1) &&
                 rig.failures.value(0).contains(failure),
             qPrintable(rig.failures.join('|')));

    // One beep per warning line, each sounded before its line was added.
    QCOMPARE(rig.logAtBeep.size(), log.count(WARNING));
    for (const QString &before : rig.logAtBeep)
        QVERIFY(log.startsWith(before + WARNING + CRLF));

    // The controls tell the port's state.
    QCOMPARE(rig.control<QPushButton>("closePort")->isEnabled(), portOpen);
    for (const char *name : CLOSED_ONLY)
        QCOMPARE(rig.control<QWidget>(name)->isEnabled(), !portOpen);

    // Enter puts nothing into the box, and the command stays there for the next Enter.
    QCOMPARE(rig.commandString()->text(), typed);
}

// Each way an exchange ends, against the simulated controller's faults, as the operator meets it
// beside the log's unchanged text: the tool tip over the entry, the details margin, and the
// description a screen reader gives at the caret.
void TestWindow::exchangeDetails_data()
{
    QTest::addColumn<Options>("options");
    QTest::addColumn<QString>("command");
    QTest::addColumn<QString>("timeout");
    QTest::addColumn<QString>("logged"); // how the entry's line begins
    QTest::addColumn<QString>("outcome");
    QTest::addColumn<QString>("reason");
    QString framed = "RD D100";
    ::appendFCS(0, framed);
    // clang-format off
    QTest::newRow("a reply") << Options{} << "RD D100" << "500 " << "OK RD D100\r\n" << "reply" << "";
    QTest::newRow("silent") << Options{.silent = true} << "RD D100" << "100" << WARNING << "silent"
        << "Nothing came in 100 ms after the command";
    QTest::newRow("no ENQ answer") << Options{.answerEnq = false} << "RD D100" << "100" << WARNING << "no ENQ"
        << "The controller did not answer the ENQ handshake";
    QTest::newRow("CR LF") << Options{.crlf = true} << "RD D100" << "100" << WARNING << "no CR"
        << "12 bytes came without a closing CR: OK RD D100‹CR›‹LF› - does the controller end replies with CR LF?";
    QTest::newRow("a late reply") << Options{.pieces = 2, .pauseMs = 500} << "RD D100" << "100" << WARNING
        << "no CR" << "does the controller answer later than 100 ms?";
    QTest::newRow("bad FCS") << Options{.badFcs = true} << framed << "500 " << "@00" << "bad FCS"
        << "The reply fails its frame check";
    // clang-format on
}

void TestWindow::exchangeDetails()
{
    QFETCH(Options, options);
    QFETCH(QString, command);
    QFETCH(QString, timeout);
    QFETCH(QString, logged);
    QFETCH(QString, outcome);
    QFETCH(QString, reason);
    WindowRig rig(options);
    rig.window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&rig.window));
    rig.control<QLineEdit>("timeOutBox")->setText(timeout);
    rig.send(command);
    QVERIFY2(rig.log().startsWith(OPEN_AT + logged) && rig.log().count(CRLF) == 2,
             qPrintable(rig.log()));

    ResponseBox *box = rig.responseBox();
    QTextCursor entry(box->document()->findBlockByNumber(1));
    box->setTextCursor(entry);
    const QPoint over = box->cursorRect().center() + QPoint(2, 0);
    QHelpEvent hover(QEvent::ToolTip, over, box->viewport()->mapToGlobal(over));
    QApplication::sendEvent(box->viewport(), &hover);
    const QString description =
        QAccessible::queryAccessibleInterface(box)->text(QAccessible::Description);
    rig.logMenu("Show Details");
    const QString margin = QAccessible::queryAccessibleInterface(box->findChild<DetailsMargin *>())
                               ->text(QAccessible::Value);

    for (const QString &details : {QToolTip::text().replace("<br>", "\n"), description}) {
        QVERIFY2(details.contains("Sent: " + command.toHtmlEscaped()) &&
                     details.contains("Outcome: " + outcome) && details.contains(reason) &&
                     details.contains("COM1 (") && details.contains(" at 9600,N,8,1"),
                 qPrintable(details));
    }
    QVERIFY2(QRegularExpression("^\\d\\d:\\d\\d:\\d\\d\\.\\d{3} +\\d+ ms " + outcome + "$")
                 .match(margin)
                 .hasMatch(),
             qPrintable(margin));
}

// Save Transcript As: every exchange of the session, Clear or not, as CSV for a spreadsheet
// and as JSON lines, read back by Python's own readers with the reply's bytes exact; past its
// bound the transcript says how many exchanges it dropped.
void TestWindow::transcript()
{
    QTemporaryDir dir;
    QByteArray everyByte;
    for (int code = 0; code < 256; ++code)
        everyByte += char(code == '\r' ? 'x' : code);
    WindowRig rig({.reply = everyByte.toStdString()});
    rig.send("RD D1");
    rig.click("clearButton");
    rig.send("RD D2");
    const auto save = [&](const QString &name) {
        rig.transcriptFile = dir.filePath(name);
        rig.logMenu("Save Transcript As…");
    };
    save("all.csv");
    save("all.jsonl");
    rig.window.transcript.setKeptBytes(0);
    save("none.csv");
    save("none.jsonl");
    QCOMPARE(rig.failures, QStringList());

    const char *read = R"(
import csv, json, os, sys
for name in sys.argv[1:]:
    with open(name, newline='', encoding='utf-8') as f:
        rows = list(csv.DictReader(f)) if name.endswith('.csv') else [json.loads(l) for l in f]
    print(os.path.basename(name), [(r['outcome'], (r.get('reply') or '').encode('latin-1').hex()
                                    or r['reason'].split()[0]) for r in rows])
)";
    QProcess python;
    python.start("python3", {"-c", read, dir.filePath("all.csv"), dir.filePath("all.jsonl"),
                             dir.filePath("none.csv"), dir.filePath("none.jsonl")});
    QVERIFY(python.waitForFinished());
    const QString reply = "('reply', '" + everyByte.toHex() + "')";
    QCOMPARE(QString(python.readAll()), QString("all.csv [%1, %1]\nall.jsonl [%1, %1]\n"
                                                "none.csv %2\nnone.jsonl %2\n")
                                            .arg(reply, "[('dropped', '2')]"));
    QCOMPARE(python.readAllStandardError(), QByteArray());
}

void TestWindow::commandHistory()
{
    WindowRig rig;
    QLineEdit *box = rig.commandString();
    QStringList shown;
    const auto press = [&](const QList<Qt::Key> &keys) {
        for (Qt::Key key : keys) {
            QTest::keyClick(box, key);
            shown << box->text();
        }
    };
    rig.send("A");
    rig.send("B");
    press({Qt::Key_Up, Qt::Key_Up, Qt::Key_Down, Qt::Key_Down}); // B, still in the box, is skipped
    box->setText("draft");
    press({Qt::Key_Up, Qt::Key_Down});
    QCOMPARE(shown, QStringList({"A", "A", "B", "B", "B", "draft"}));

    // Bounded by size: the oldest commands go, and Up stops at the oldest one kept.
    CommandBox other; // a plain QLineEdit would cut the commands to 32,767 characters
    new CommandHistory(&other);
    QStringList sent{"oldest"};
    for (char c = 'a'; c < 'a' + 20; ++c)
        sent << QString(CommandBox::kLongestCommand, c);
    for (const QString &command : sent) {
        other.setText(command);
        QTest::keyClick(&other, Qt::Key_Return);
    }
    for (qsizetype i = 0; i < sent.size(); ++i)
        QTest::keyClick(&other, Qt::Key_Up);
    QCOMPARE(other.text(),
             sent[sent.size() - CommandHistory::kKeptCharacters / CommandBox::kLongestCommand]);
}

// Save Log As, through the log's context menu as the operator does it, as an ordinary user (root
// writes where a technician could not): the file holds the bytes received; a device is refused,
// and a full file system named, with nothing half written.
void TestWindow::saveLog_data()
{
    QTest::addColumn<QString>("target"); // "": the dialog cancelled
    QTest::addColumn<QString>("failure");
    QTest::newRow("cancelled: nothing written") << ""
                                                << "";
    QTest::newRow("a new file holds the bytes received") << "log.txt"
                                                         << "";
    QTest::newRow("a device node is refused and stays one") << "null"
                                                            << "is not a regular file";
    QTest::newRow("a full file system is named") << "full/log.txt"
                                                 << "no space left on the device";
    QTest::newRow("too little room is named too") << "room/log.txt"
                                                  << "no space left on the device";
}

void TestWindow::saveLog()
{
    QFETCH(QString, target);
    QFETCH(QString, failure);
    QTemporaryDir dir;
    const QByteArray bytes("COM 1: Open at 9600,N,8,1\r\nA\0\x85\xff\r\n", 33);
    const auto path = [&](const QString &name) { return QFile::encodeName(dir.filePath(name)); };
    QVERIFY(::chown(path(""), 65534, 65534) == 0 || ::geteuid() != 0);
    if (target == "null" && ::mknod(path(target), S_IFCHR | 0666, makedev(1, 3)) != 0)
        QSKIP("cannot make a device node here (needs root)");
    const QString mounted = target.section('/', 0, 0);
    const auto unmount = qScopeGuard([&] { ::umount2(path(mounted), MNT_DETACH); });
    if (target.contains('/')) {
        QVERIFY(QDir(dir.path()).mkdir(mounted));
        if (::mount("tmpfs", path(mounted), "tmpfs", 0, "size=16k,mode=0777") != 0)
            QSKIP("cannot mount a small file system here (needs root)");
        QFile filler(dir.filePath(mounted + "/filler"));
        QVERIFY(filler.open(QIODevice::WriteOnly | QIODevice::Unbuffered));
        while (filler.size() < (mounted == "room" ? 8192 : 16384) &&
               filler.write(QByteArray(512, 'f')) > 0)
            ;
    }

    WindowRig rig({.reply = std::string("A\0\x85\xff", 4)});
    rig.send("RD");
    if (mounted == "room") // more than the room left
        rig.responseBox()->appendLine(QString(20000, 'x'));
    rig.logFile = target.isEmpty() ? target : dir.filePath(target);
    {
        const bool root = ::geteuid() == 0;
        QVERIFY(!root || (::setegid(65534) == 0 && ::seteuid(65534) == 0));
        const auto backToRoot = qScopeGuard([&] {
            if (root && (::seteuid(0) != 0 || ::setegid(0) != 0))
                qFatal("cannot become root again");
        });
        rig.logMenu("Save Log As…");
    }

    QVERIFY2(rig.failures.size() == (failure.isEmpty() ? 0 : 1) &&
                 rig.failures.value(0).contains(failure),
             qPrintable(rig.failures.join('|')));
    struct stat saved {
    };
    const bool exists = !target.isEmpty() && ::stat(path(target), &saved) == 0;
    QCOMPARE(exists, target == "log.txt" || target == "null");
    if (target == "null")
        QVERIFY(S_ISCHR(saved.st_mode));
    if (target == "log.txt") {
        QFile file(dir.filePath(target));
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), bytes);
    }
}

QTEST_MAIN(TestWindow)
#include "tst_window.moc"
