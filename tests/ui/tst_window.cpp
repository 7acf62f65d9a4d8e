#include "windowrig.h"

#include "failure.h"
#include "mscomm.h"

#include <QAccessible>
#include <QContextMenuEvent>
#include <QDir>
#include <QLabel>
#include <QTemporaryDir>
#include <QTimer>

using Options = plcsim::PlcOptions;

namespace
{
const QString CRLF = QStringLiteral("\r\n");
const QString OPEN_AT = QStringLiteral("COM 1: Open at 9600,N,8,1\r\n");
const QString WARNING = QStringLiteral("(Warning: No Response from PLC)");
const char *const SETTINGS[] = {"portChoice",    "baudChoice",   "dataBitChoice",
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
    void portTips();
};

void TestWindow::nothingClipped()
{
    vantrel window;
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
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

    // Steps: "enter:TEXT" (Return), "kpenter:TEXT" (keypad Enter), "key:TEXT" (typed into the
    // command box), "type:BOX:TEXT" (typed over a settings box), "nodevice" (COM1 mapped to a
    // missing device), "space" (Space where the focus is, which must be the command box), or a
    // button: open, close, clear, exit.
    const auto row = [](const char *name, const QStringList &steps, const QString &log,
                        const QByteArray &wire, bool portOpen, const QString &failure = {},
                        const Options &options = {}) {
        QTest::newRow(name) << options << steps << log << wire << portOpen << failure;
    };
    const QByteArray sentRD("\x05RD\r");
    // clang-format off
    row("Enter with the port closed opens it first", {"enter:RD"}, OPEN_AT + "OK RD" + CRLF, sentRD, true);
    row("keypad Enter counts as Enter", {"kpenter:RD"}, OPEN_AT + "OK RD" + CRLF, sentRD, true);
    row("no reply: beep, then the warning", {"type:timeOutBox:100", "enter:RD"}, OPEN_AT + WARNING + CRLF,
        sentRD, true, {}, {.silent = true});
    row("a blank reply is a reply", {"enter:RD"}, OPEN_AT + " " + CRLF, sentRD, true, {}, {.reply = " "});
    row("empty command, twice; one Open-at line", {"enter:", "enter:"}, OPEN_AT + "OK " + CRLF + "OK " + CRLF,
        "\x05\r\x05\r", true);
    row("other keys go into the box and send nothing", {"key:a", "key:b"}, "", "", false);
    row("Open/Close Port: nothing more logged, Space then goes to the command box",
        {"open", "space", "close", "space"}, OPEN_AT, "", false);
    row("Clear while open; the next line is the first", {"open", "clear", "enter:RD"}, "OK RD" + CRLF,
        sentRD, true);
    row("new choices take effect at the next open",
        {"open", "close", "type:baudChoice:57600", "type:parityChoice:Even", "open"},
        OPEN_AT + "COM 1: Open at 57600,E,8,1" + CRLF, "", true);
    row("Exit with the port open closes it, logs nothing", {"open", "exit"}, OPEN_AT, "", false);
    row("unusable timeout: nothing sent, nothing opened", {"type:timeOutBox:", "enter:RD"}, "", "", false,
        "The timeout \"\" is not a number");
    row("typed port text matches no entry", {"type:portChoice:COM9", "open"}, "", "", false,
        "Port number 0 cannot be used");
    row("typed text is not completed to an entry", {"type:baudChoice:96", "open"}, "", "", false,
        "The line settings \",N,8,1\" cannot be used");
    row("a command of any length", {"enter:" + QString(40000, 'x')}, OPEN_AT + "OK " + QString(40000, 'x') + CRLF,
        "\x05" + QByteArray(40000, 'x') + "\r", true);
    row("port cannot be opened", {"nodevice", "open"}, "", "", false,
        "COM1 (/nonexistent/tty) cannot be opened: there is no such device");
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

    const QMap<QString, const char *> buttons{{"open", "openPort"},
                                              {"close", "closePort"},
                                              {"clear", "clearButton"},
                                              {"exit", "ExitButton"}};
    WindowRig rig(options);
    rig.window.show();
    rig.window.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&rig.window));
    QString typed;
    for (const QString &step : steps) {
        const QString arg = step.section(':', 1);
        if (step.startsWith("enter:") || step.startsWith("kpenter:"))
            rig.send(typed = arg, step.startsWith("kp") ? Qt::Key_Enter : Qt::Key_Return);
        else if (step.startsWith("key:")) {
            QTest::keyClicks(rig.commandString(), arg);
            typed += arg;
        } else if (step.startsWith("type:")) {
            const QString name = arg.section(':', 0, 0);
            auto *box = rig.window.findChild<QComboBox *>(name);
            QLineEdit *field = box ? box->lineEdit() : rig.control<QLineEdit>(qPrintable(name));
            field->clear();
            field->setFocus();
            QTest::keyClicks(field, arg.section(':', 1));
        } else if (step == "space") {
            QTest::keyClick(rig.window.focusWidget(), Qt::Key_Space);
            typed += ' ';
        } else if (step == "nodevice")
            qputenv("VANTREL_COM1", "/nonexistent/tty");
        else
            rig.click(buttons.value(step));
    }

    QCOMPARE(rig.log(), log);
    QCOMPARE(rig.plc.received(), wire);
    QCOMPARE(rig.ended, steps.contains("exit"));
    QVERIFY2(rig.failures.size() == (failure.isEmpty() ? 0 : 1),
             qPrintable(rig.failures.join('|')));
    if (!failure.isEmpty())
        QVERIFY2(rig.failures[0].contains(failure), qPrintable(rig.failures[0]));

    // One beep per warning line, each sounded before its line was added.
    QCOMPARE(rig.logAtBeep.size(), log.count(WARNING));
    for (const QString &before : rig.logAtBeep)
        QVERIFY(log.startsWith(before + WARNING + CRLF));

    // The controls tell the port's state, and the device tells the truth of it.
    QCOMPARE(rig.control<QPushButton>("openPort")->isEnabled(), !portOpen);
    QCOMPARE(rig.control<QPushButton>("closePort")->isEnabled(), portOpen);
    for (const char *name : SETTINGS)
        QCOMPARE(rig.control<QWidget>(name)->isEnabled(), !portOpen);
    qputenv("VANTREL_COM9", QByteArray::fromStdString(rig.plc.terminal.slavePath()));
    MSComm probe;
    probe.setCommPort(9);
    if (portOpen)
        QVERIFY_THROWS_EXCEPTION(Failure, probe.setPortOpen(true));
    else
        probe.setPortOpen(true);

    // Enter puts nothing into the box, and the command stays there for the next Enter.
    QCOMPARE(rig.commandString()->text(), typed);
}

void TestWindow::commandHistory()
{
    WindowRig rig;
    rig.send("A");
    rig.send("B");
    rig.commandString()->setText("draft");
    QStringList shown;
    for (Qt::Key key : {Qt::Key_Up, Qt::Key_Up, Qt::Key_Up, Qt::Key_Down, Qt::Key_Down}) {
        QTest::keyClick(rig.commandString(), key);
        shown << rig.commandString()->text();
    }
    QCOMPARE(shown, QStringList({"B", "A", "A", "B", "draft"}));
}

void TestWindow::saveLog_data()
{
    QTest::addColumn<QString>("file");  // in the test folder DIR; "" for a cancelled dialog
    QTest::addColumn<QString>("typed"); // typed into the log after the exchange
    QTest::addColumn<QString>("failure");

    QTest::newRow("the log as the bytes received") << "log.txt"
                                                   << ""
                                                   << "";
    QTest::newRow("cancelled") << ""
                               << ""
                               << "";
    QTest::newRow("folder missing") << "missing/log.txt"
                                    << ""
                                    << "The log could not be saved to DIR/missing/log.txt";
    QTest::newRow("typed text without a byte") << "log.txt"
                                               << "€"
                                               << "The log holds the character '€'";
}

void TestWindow::saveLog()
{
    QFETCH(QString, file);
    QFETCH(QString, typed);
    QFETCH(QString, failure);

    QTemporaryDir dir;
    WindowRig rig({.reply = std::string("A\0\x85\xff", 4)});
    rig.send("RD");
    rig.responseBox()->moveCursor(QTextCursor::End);
    rig.responseBox()->insertPlainText(typed);
    rig.logFile = file.isEmpty() ? file : dir.filePath(file);

    // Through the log's context menu, as the operator does it.
    QTimer::singleShot(0, [] {
        for (QAction *action : QApplication::activePopupWidget()->actions())
            if (action->text() == "Save Log As…")
                action->trigger();
        QApplication::activePopupWidget()->close();
    });
    QContextMenuEvent menu(QContextMenuEvent::Keyboard, {5, 5}, {5, 5});
    QApplication::sendEvent(rig.responseBox()->viewport(), &menu);

    QCOMPARE(rig.failures.size(), failure.isEmpty() ? 0 : 1);
    if (!failure.isEmpty())
        QVERIFY2(rig.failures[0].startsWith(failure.replace("DIR", dir.path())),
                 qPrintable(rig.failures[0]));
    QFile saved(dir.filePath("log.txt"));
    QCOMPARE(saved.open(QIODevice::ReadOnly) ? saved.readAll() : QByteArray(),
             file == "log.txt" && failure.isEmpty()
                 ? QByteArray("COM 1: Open at 9600,N,8,1\r\nA\0\x85\xff\r\n", 33)
                 : QByteArray());
}

// A technician maps COM3 to an adapter in the ports file; the list tells which are present.
void TestWindow::portTips()
{
    QTemporaryDir config;
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(config.path()));
    qputenv("XDG_CONFIG_DIRS", QFile::encodeName(config.filePath("none")));
    QDir().mkpath(config.filePath("vantrel"));
    QFile ports(config.filePath("vantrel/ports.conf"));
    QVERIFY(ports.open(QIODevice::WriteOnly));
    ports.write(("[ports]\nCOM3=/dev/null\nCOM4=" + config.filePath("gone") + "\n").toUtf8());
    ports.close();

    vantrel window;
    auto *portChoice = window.findChild<QComboBox *>("portChoice");
    portChoice->showPopup(); // the list describes its entries as it opens
    const QString tip = "COM3: /dev/null (from " + config.filePath("vantrel/ports.conf");
    QCOMPARE(portChoice->itemData(2, Qt::ToolTipRole).toString(), tip + ", line 2), present");
    QVERIFY(portChoice->itemData(3, Qt::ToolTipRole).toString().endsWith(", not present"));
}

QTEST_MAIN(TestWindow)
#include "tst_window.moc"
