#include "windowrig.h"

#include "failure.h"
#include "mscomm.h"

#include <QAccessible>
#include <QDir>
#include <QLabel>
#include <QTemporaryDir>
#include <QTest>

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
    void controls_data();
    void controls();
    void atCreationAndLoad();
    void tabOrder();
    void behaviour_data();
    void behaviour();
    void publicOperations();
    void portsFile();
};

void TestWindow::controls_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("text"); // caption, text, or entries joined by "|"
    QTest::addColumn<QRect>("twips");
    QTest::addColumn<qreal>("points");
    QTest::addColumn<bool>("bold");

    const auto row = [](const char *name, const char *kind, const QString &text, QRect twips,
                        qreal points = 9.75, bool bold = false) {
        QTest::newRow(name) << kind << text << twips << points << bold;
    };
    row("lblPortName", "QLabel", "Port Name :", {360, 180, 975, 255});
    row("portChoice", "QComboBox", "COM1|COM2|COM3|COM4|COM5|COM6", {1440, 120, 1575, 360});
    row("lblBaudRate", "QLabel", "Baud Rate:", {3360, 180, 1095, 255});
    row("baudChoice", "QComboBox", "1200|2400|4800|9600|19200|38400|57600|115200",
        {4440, 120, 1575, 360});
    row("lblDataBits", "QLabel", "Data Bits:", {360, 600, 975, 255});
    row("dataBitChoice", "QComboBox", "7|8", {1440, 540, 1575, 360});
    row("lblStopBit", "QLabel", "Stop Bits :", {3360, 600, 1095, 255});
    row("stopBitChoice", "QComboBox", "1|2", {4440, 540, 1575, 360});
    row("lblParity", "QLabel", "Parity :", {360, 1020, 975, 255});
    row("parityChoice", "QComboBox", "None|Even|Odd", {1440, 960, 1575, 360});
    row("lblTimeOut", "QLabel", "Timeout (ms) :", {3360, 1020, 1335, 255});
    row("timeOutBox", "QLineEdit", "500 ", {4920, 960, 1095, 375}, 8.25);
    row("openPort", "QPushButton", "Open Port", {600, 1440, 1335, 375});
    row("closePort", "QPushButton", "Close Port", {2520, 1440, 1335, 375});
    row("ExitButton", "QPushButton", "Exit", {4440, 1440, 1335, 375}, 9.75, true);
    row("Label1", "QLabel", "Command String (Press <Enter> to send", {360, 1920, 5295, 375}, 8.25);
    row("commandString", "QLineEdit", "", {120, 2160, 5895, 350});
    row("clearButton", "QPushButton", "Clear", {5160, 2570, 855, 300}, 8.25);
    row("Label2", "QLabel", "Response Strings", {360, 2640, 2895, 375}, 8.25);
    row("responseBox", "QPlainTextEdit", "", {120, 2880, 5895, 2415}, 8.25);
}

void TestWindow::controls()
{
    QFETCH(QString, kind);
    QFETCH(QString, text);
    QFETCH(QRect, twips);
    QFETCH(qreal, points);
    QFETCH(bool, bold);

    vantrel window;
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    auto *control = window.findChild<QWidget *>(QTest::currentDataTag());
    QVERIFY(control);
    QCOMPARE(control->metaObject()->className(), kind);
    const QRect pixels(qRound(twips.x() / 15.0), qRound(twips.y() / 15.0),
                       qRound(twips.width() / 15.0), qRound(twips.height() / 15.0));
    QCOMPARE(control->geometry(), pixels);
    QCOMPARE(control->font().pointSizeF(), points);
    QCOMPARE(control->font().bold(), bold);
    QVERIFY(control->isEnabled());

    // Whatever it shows must fit inside it at the design size.
    QStringList shown;
    int room = 0;
    if (auto *label = qobject_cast<QLabel *>(control)) {
        shown = {label->text()};
        room = label->contentsRect().width();
        QCOMPARE(label->focusPolicy(), Qt::NoFocus);
    } else if (auto *button = qobject_cast<QPushButton *>(control)) {
        shown = {button->text()};
        room = button->width() - 8; // the frame and a little air
        QVERIFY(!button->isDefault() && !button->autoDefault());
    } else if (auto *box = qobject_cast<QComboBox *>(control)) {
        for (int i = 0; i < box->count(); ++i)
            shown << box->itemText(i);
        room = box->lineEdit()->width();
        QVERIFY(box->isEditable());
        QCOMPARE(box->insertPolicy(), QComboBox::NoInsert);
    } else if (auto *edit = qobject_cast<QLineEdit *>(control)) {
        shown = {edit->text()};
        room = edit->width();
    } else {
        shown = {qobject_cast<QPlainTextEdit *>(control)->toPlainText()};
        room = control->width();
    }
    QCOMPARE(shown.join('|'), text);
    for (const QString &each : shown)
        QVERIFY2(control->fontMetrics().horizontalAdvance(each) <= room,
                 qPrintable(QStringLiteral("\"%1\" is clipped").arg(each)));
}

void TestWindow::atCreationAndLoad()
{
    vantrel window;
    QCOMPARE(window.windowTitle(), QString("Form1"));
    QCOMPARE(window.objectName(), QString("vantrel"));
    QCOMPARE(window.size(), QSize(412, 358));
    for (auto *box : window.findChildren<QComboBox *>())
        QVERIFY(box->currentIndex() == -1 && box->currentText().isEmpty());

    // Load selects what the first Open-at line shows (behaviour), and disables Close Port.
    QMetaObject::invokeMethod(&window, "Form_Load");
    QVERIFY(!window.findChild<QPushButton *>("closePort")->isEnabled());

    // The controls keep their places when the window grows.
    const QRect before = window.findChild<QWidget *>("responseBox")->geometry();
    window.resize(900, 700);
    QCOMPARE(window.findChild<QWidget *>("responseBox")->geometry(), before);
}

void TestWindow::tabOrder()
{
    WindowRig rig;
    rig.window.show();
    rig.window.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&rig.window));
    QCOMPARE(QApplication::focusWidget(), rig.commandString());

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
    // command box), "timeout:TEXT", "typeport:TEXT", "select:BOX:N", "logtype:TEXT" (typed into
    // the log), "nodevice" (COM1 mapped to a missing device), "space" (Space where the focus is,
    // which must be the command box), or a button: open, close, clear, exit.
    const auto row = [](const char *name, const QStringList &steps, const QString &log,
                        const QByteArray &wire, bool portOpen, const QString &failure = {},
                        const Options &options = {}) {
        QTest::newRow(name) << options << steps << log << wire << portOpen << failure;
    };
    const QByteArray sentRD("\x05RD\r");
    // clang-format off
    row("Enter with the port closed opens it first", {"enter:RD"}, OPEN_AT + "OK RD" + CRLF, sentRD, true);
    row("keypad Enter counts as Enter", {"kpenter:RD"}, OPEN_AT + "OK RD" + CRLF, sentRD, true);
    row("no reply: beep, then the warning", {"timeout:100", "enter:RD"}, OPEN_AT + WARNING + CRLF, sentRD,
        true, {}, {.silent = true});
    row("a blank reply is a reply", {"enter:RD"}, OPEN_AT + " " + CRLF, sentRD, true, {}, {.reply = " "});
    row("control characters stay in their line", {"enter:RD"}, OPEN_AT + "A\rB\x01" + CRLF, sentRD, true,
        {}, {.reply = std::string("A\rB\x01", 4)});
    row("empty command, twice; one Open-at line", {"enter:", "enter:"}, OPEN_AT + "OK " + CRLF + "OK " + CRLF,
        "\x05\r\x05\r", true);
    row("other keys go into the box and send nothing", {"key:a", "key:b"}, "", "", false);
    row("Open/Close Port: nothing more logged, Space then goes to the command box",
        {"open", "space", "close", "space"}, OPEN_AT, "", false);
    row("Clear while open; the next line is the first", {"open", "clear", "enter:RD"}, "OK RD" + CRLF,
        sentRD, true);
    row("typed log text is continued directly", {"logtype:note", "enter:RD"},
        "note" + OPEN_AT + "OK RD" + CRLF, sentRD, true);
    row("new choices take effect at the next open",
        {"open", "close", "select:baudChoice:7", "select:parityChoice:1", "open"},
        OPEN_AT + "COM 1: Open at 115200,E,8,1" + CRLF, "", true);
    row("Exit with the port open closes it, logs nothing", {"open", "exit"}, OPEN_AT, "", false);
    row("unusable timeout: nothing sent, nothing opened", {"timeout:", "enter:RD"}, "", "", false,
        "The timeout \"\" is not a number");
    row("typed port text matches no entry", {"typeport:COM9", "open"}, "", "", false,
        "Port number 0 cannot be used");
    row("typed port text that matches an entry selects it", {"typeport:COM1", "open"}, OPEN_AT, "", true);
    row("port cannot be opened", {"nodevice", "open"}, "", "", false,
        "COM1 (/nonexistent/tty) cannot be opened: there is no such device");
    row("Enter on a port that cannot be opened", {"nodevice", "enter:RD"}, "", "", false,
        "COM1 (/nonexistent/tty) cannot be opened");
    row("device lost mid-exchange: Open-at line kept, no beep", {"timeout:60000", "enter:RD"}, OPEN_AT,
        sentRD, true, "went away", {.silent = true, .hangupAfter = 1});
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
        } else if (step.startsWith("timeout:"))
            rig.control<QLineEdit>("timeOutBox")->setText(arg);
        else if (step.startsWith("typeport:"))
            rig.control<QComboBox>("portChoice")->setEditText(arg);
        else if (step.startsWith("select:"))
            rig.control<QComboBox>(qPrintable(arg.section(':', 0, 0)))
                ->setCurrentIndex(arg.section(':', 1).toInt());
        else if (step.startsWith("logtype:"))
            QTest::keyClicks(rig.responseBox(), arg);
        else if (step == "space") {
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
    if (failure.isEmpty()) {
        QCOMPARE(rig.failures, QStringList());
    } else {
        QCOMPARE(rig.failures.size(), 1);
        QVERIFY2(rig.failures[0].contains(failure), qPrintable(rig.failures[0]));
    }

    // One beep per warning line, each sounded before its line was added.
    QCOMPARE(rig.logAtBeep.size(), log.count(WARNING));
    for (const QString &before : rig.logAtBeep)
        QVERIFY(log.startsWith(before + WARNING + CRLF));

    // The controls tell the port's state, and the device tells the truth of it.
    QCOMPARE(rig.control<QPushButton>("openPort")->isEnabled(), !portOpen);
    QCOMPARE(rig.control<QPushButton>("closePort")->isEnabled(), portOpen);
    for (const char *name : SETTINGS)
        QCOMPARE(rig.control<QWidget>(name)->isEnabled(), !portOpen);
    for (const char *name : {"commandString", "responseBox", "clearButton", "ExitButton"})
        QVERIFY(rig.control<QWidget>(name)->isEnabled());
    qputenv("VANTREL_COM9", QByteArray::fromStdString(rig.plc.terminal.slavePath()));
    MSComm probe;
    probe.setCommPort(9);
    const bool held = [&] {
        try {
            probe.setPortOpen(true);
            return false;
        } catch (const Failure &) {
            return true;
        }
    }();
    QCOMPARE(held, portOpen);

    // Enter puts nothing into the box, and the command stays there for the next Enter.
    QCOMPARE(rig.commandString()->text(), typed);
}

void TestWindow::publicOperations()
{
    WindowRig rig;
    QString command = "RD";
    QCOMPARE(rig.window.appendFCS(0, command), QString("@00RD56*"));
    QCOMPARE(command, QString("@00RD56*"));
    QCOMPARE(rig.window.computeFCS("@00RD"), qint16(0x56));
    QCOMPARE(rig.window.sendCommand(command), QString("@00OKRD52*"));
    QCOMPARE(rig.plc.received(), QByteArray("@00RD56*\r"));
    QCOMPARE(rig.log(), OPEN_AT);
}

// A technician maps COM3 to an adapter in the ports file; the list shows it and Enter uses it.
void TestWindow::portsFile()
{
    QTemporaryDir config;
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(config.path()));
    qputenv("XDG_CONFIG_DIRS", QFile::encodeName(config.filePath("none")));
    WindowRig rig({}, 9); // the simulator's own variable names COM9, which the window never opens
    const QString adapter = QString::fromStdString(rig.plc.terminal.slavePath());
    QDir().mkpath(config.filePath("vantrel"));
    QFile ports(config.filePath("vantrel/ports.conf"));
    QVERIFY(ports.open(QIODevice::WriteOnly));
    ports.write(("[ports]\nCOM3=" + adapter + "\nCOM4=" + config.filePath("gone") + "\n").toUtf8());
    ports.close();

    auto *portChoice = rig.control<QComboBox>("portChoice");
    portChoice->showPopup(); // the list describes its entries as it opens
    const QString tip = "COM3: " + adapter + " (from " + config.filePath("vantrel/ports.conf");
    QCOMPARE(portChoice->itemData(2, Qt::ToolTipRole).toString(), tip + ", line 2), present");
    QVERIFY(portChoice->itemData(3, Qt::ToolTipRole).toString().endsWith(", not present"));
    portChoice->hidePopup();

    portChoice->setCurrentIndex(2);
    rig.send("RD");
    QCOMPARE(rig.failures, QStringList());
    QCOMPARE(rig.log(), "COM 3: Open at 9600,N,8,1\r\nOK RD\r\n");
    QCOMPARE(rig.plc.received(), QByteArray("\x05RD\r"));
}

QTEST_MAIN(TestWindow)
#include "tst_window.moc"
