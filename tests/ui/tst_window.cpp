#include "commandbox.h"
#include "commandhistory.h"
#include "windowrig.h"

#include <QAccessible>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QLabel>
#include <QMimeData>
#include <QTemporaryDir>
#include <QTimer>

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
    row("typed port text matches no entry", {"type:portChoice:COM9", "openPort"}, "", "", false,
        "Port number 0 cannot be used");
    row("typed text is not completed to an entry", {"type:baudChoice:96", "openPort"}, "", "", false,
        "The line settings \",N,8,1\" cannot be used");
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
    QTimer::singleShot(0, [] {
        for (QAction *action : QApplication::activePopupWidget()->actions())
            if (action->text() == "Save Log As…")
                action->trigger();
        QApplication::activePopupWidget()->close();
    });
    {
        const bool root = ::geteuid() == 0;
        QVERIFY(!root || (::setegid(65534) == 0 && ::seteuid(65534) == 0));
        const auto backToRoot = qScopeGuard([&] {
            if (root && (::seteuid(0) != 0 || ::setegid(0) != 0))
                qFatal("cannot become root again");
        });
        QContextMenuEvent menu(QContextMenuEvent::Keyboard, {5, 5}, {5, 5});
        QApplication::sendEvent(rig.responseBox()->viewport(), &menu);
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
