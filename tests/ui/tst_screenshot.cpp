#include "windowrig.h"

#include <QCryptographicHash>
#include <QGuiApplication>
#include <QHash>
#include <QImage>

// Renders the working window on a real X server to vantrel-window.png in the build folder, for
// a person to look at: after load, one exchange whose reply holds every byte value. Then proves
// on the same log box that no two byte values look the same.
class TestScreenshot : public QObject
{
    Q_OBJECT
private slots:
    void render();
    void detailsMargin();
};

void TestScreenshot::render()
{
    if (QGuiApplication::platformName() != "xcb")
        QSKIP("needs a real X server: run under xvfb-run");
    std::string everyByte;
    for (int code = 0; code < 256; ++code)
        everyByte += char(code);
    WindowRig rig({.reply = everyByte});
    rig.window.show();
    rig.window.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&rig.window));
    rig.send("RD D100");
    QCOMPARE(rig.log().toLatin1(),
             "COM 1: Open at 9600,N,8,1\r\n" + QByteArray::fromStdString(everyByte) + "\r\n");
    QCoreApplication::processEvents();

    // Rendered by the widgets themselves, so it shows their state now rather than whatever
    // the X server last drew.
    QVERIFY(rig.window.grab().save("vantrel-window.png"));

    // Each byte alone in the log, as the operator sees it: all 256 pictures differ.
    ResponseBox *box = rig.responseBox();
    QHash<QByteArray, int> seen;
    for (int code = 0; code < 256; ++code) {
        box->clear();
        box->appendLine(QString(QChar(char16_t(code))));
        QCoreApplication::processEvents();
        const QImage picture = box->viewport()->grab().toImage();
        const QByteArray pixels(reinterpret_cast<const char *>(picture.constBits()),
                                picture.sizeInBytes());
        const int same = seen.value(pixels, -1);
        QVERIFY2(same < 0,
                 qPrintable(QString("0x%1 looks like 0x%2").arg(code, 2, 16).arg(same, 2, 16)));
        seen.insert(pixels, code);
    }
}

// The window at start is the window as it was before the log kept exchange details: its grab
// has the checksum of a grab of that earlier build, made with this environment's fonts and Qt.
// The details margin, once on, is drawn beside the log, and off again leaves the log as it was.
// Both pictures go to vantrel-details-{off,on}.png in the build folder.
void TestScreenshot::detailsMargin()
{
    if (QGuiApplication::platformName() != "xcb")
        QSKIP("needs a real X server: run under xvfb-run");
    QApplication::setCursorFlashTime(0); // the caret always drawn
    WindowRig rig;
    rig.window.show();
    rig.window.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&rig.window));
    QCoreApplication::processEvents();
    const QImage start = rig.window.grab().toImage();
    QCOMPARE(QCryptographicHash::hash(QByteArrayView(start.constBits(), start.sizeInBytes()),
                                      QCryptographicHash::Sha1)
                 .toHex(),
             "2a8822337ad91fbb985ce64ea8ad1feb8141a2e1");

    rig.send("RD D100");
    const auto shown = [&](const char *file) {
        QCoreApplication::processEvents();
        const QImage box = rig.responseBox()->grab().toImage();
        rig.window.grab().save(file);
        return box;
    };
    const QImage off = shown("vantrel-details-off.png");
    rig.logMenu("Show Details");
    const QImage on = shown("vantrel-details-on.png");
    rig.logMenu("Show Details");
    QVERIFY(on != off);
    QCOMPARE(shown("vantrel-details-off.png"), off);

    // The task bar's icon is the installed one: its dark ground shows in the middle.
    QCOMPARE(rig.window.windowIcon().pixmap(32).toImage().pixelColor(16, 8), QColor("#2f4858"));
}

QTEST_MAIN(TestScreenshot)
#include "tst_screenshot.moc"
