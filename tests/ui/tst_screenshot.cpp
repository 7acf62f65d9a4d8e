#include "windowrig.h"

#include <QAccessible>
#include <QCryptographicHash>
#include <QGuiApplication>
#include <QImage>
#include <QLabel>

#include <map>

// The working window on a real X server, as a person meets it: its layout, what a screen reader
// announces, and pictures of it in the build folder to look at.
class TestScreenshot : public QObject
{
    Q_OBJECT
private slots:
    void render();
};

// The window at start is the window as it was before the log kept exchange details: its grab has
// the checksum of a grab of that earlier build, made with this environment's fonts and Qt. Every
// caption and entry has room to show whole, and each stop of the Tab key is what a screen reader
// announces, boxes by their labels. After an exchange whose reply holds every byte value but CR the
// window goes to vantrel-window.png; the details margin, once on, is drawn beside the log
// (vantrel-details-on.png), and off again leaves the log as it was. Then each byte alone in the
// log: no two byte values look the same.
void TestScreenshot::render()
{
    if (QGuiApplication::platformName() != "xcb")
        QSKIP("needs a real X server: run under xvfb-run");
    QApplication::setCursorFlashTime(0); // the caret always drawn
    WindowRig rig({.reply = WindowRig::everyByte().toStdString()});
    QVERIFY(rig.shown());
    QCoreApplication::processEvents();
    const QImage start = rig.window.grab().toImage();
    QCOMPARE(QCryptographicHash::hash(QByteArrayView(start.constBits(), start.sizeInBytes()),
                                      QCryptographicHash::Sha1)
                 .toHex(),
             "2a8822337ad91fbb985ce64ea8ad1feb8141a2e1");
    // The task bar's icon is the installed one: its dark ground shows in the middle.
    QCOMPARE(rig.window.windowIcon().pixmap(32).toImage().pixelColor(16, 8), QColor("#2f4858"));

    QList<std::tuple<QWidget *, QString, int>> texts; // control, text, room for it
    for (auto *label : rig.window.findChildren<QLabel *>())
        texts.append({label, label->text(), label->contentsRect().width()});
    for (auto *button : rig.window.findChildren<QPushButton *>())
        texts.append({button, button->text(), button->width() - 8}); // the frame, a little air
    for (auto *box : rig.window.findChildren<QComboBox *>())
        for (int i = 0; i < box->count(); ++i)
            texts.append({box, box->itemText(i), box->lineEdit()->width()});
    for (const auto &[control, text, room] : texts)
        QVERIFY2(control->fontMetrics().horizontalAdvance(text) <= room, qPrintable(text));
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

    rig.send("RD D100");
    // Rendered by the widgets themselves, so it shows their state now rather than whatever the X
    // server last drew.
    const auto shown = [&](const char *file) {
        QCoreApplication::processEvents();
        rig.window.grab().save(file);
        return rig.responseBox()->grab().toImage();
    };
    const QImage off = shown("vantrel-window.png");
    rig.logMenu("Show Details");
    const QImage on = shown("vantrel-details-on.png");
    rig.logMenu("Show Details");
    QVERIFY(on != off);
    QCOMPARE(shown("vantrel-window.png"), off);

    ResponseBox *box = rig.responseBox();
    std::map<QByteArray, int> seen; // each byte's picture alone in the log, as the operator sees it
    for (int code = 0; code < 256; ++code) {
        box->clear();
        box->appendLine(QString(QChar(char16_t(code))));
        QCoreApplication::processEvents();
        const QImage picture = box->viewport()->grab().toImage();
        const auto [at, fresh] = seen.try_emplace(
            QByteArrayView(picture.constBits(), picture.sizeInBytes()).toByteArray(), code);
        QVERIFY2(fresh,
                 qPrintable(QString::asprintf("0x%02x looks like 0x%02x", code, at->second)));
    }
}

QTEST_MAIN(TestScreenshot)
#include "tst_screenshot.moc"
