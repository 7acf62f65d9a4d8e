#include "windowrig.h"

#include <QAccessible>
#include <QContextMenuEvent>
#include <QLabel>
#include <QTemporaryDir>
#include <QTimer>

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
    // a settings box), "space" (Space where the focus is: the command box), or a button's name.
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
}

// Save Log As, through the log's context menu as the operator does it.
void TestWindow::saveLog()
{
    QTemporaryDir dir;
    WindowRig rig({.reply = std::string("A\0\x85\xff", 4)});
    rig.send("RD");
    const auto saveAs = [&](const QString &file) {
        rig.logFile = file.isEmpty() ? file : dir.filePath(file); // "": the dialog cancelled
        QTimer::singleShot(0, [] {
            for (QAction *action : QApplication::activePopupWidget()->actions())
                if (action->text() == "Save Log As…")
                    action->trigger();
            QApplication::activePopupWidget()->close();
        });
        QContextMenuEvent menu(QContextMenuEvent::Keyboard, {5, 5}, {5, 5});
        QApplication::sendEvent(rig.responseBox()->viewport(), &menu);
    };
    saveAs("");
    saveAs("log.txt");
    QCOMPARE(rig.failures, QStringList());
    QFile saved(dir.filePath("log.txt"));
    QVERIFY(saved.open(QIODevice::ReadOnly));
    QCOMPARE(saved.readAll(), QByteArray("COM 1: Open at 9600,N,8,1\r\nA\0\x85\xff\r\n", 33));
}

QTEST_MAIN(TestWindow)
#include "tst_window.moc"
