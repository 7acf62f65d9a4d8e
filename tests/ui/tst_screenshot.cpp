#include "windowrig.h"

#include <QCryptographicHash>
#include <QGuiApplication>
#include <QHash>
#include <QImage>

// The working window on a real X server, rendered to the build folder for a person to look at.
class TestScreenshot : public QObject
{
    Q_OBJECT
private slots:
    void render();
};

// The window at start is the window as it was before the log kept exchange details: its grab has
// the checksum of a grab of that earlier build, made with this environment's fonts and Qt. After
// an exchange whose reply holds every byte value it goes to vantrel-window.png; the details
// margin, once on, is drawn beside the log (vantrel-details-on.png), and off again leaves the log
// as it was. Then each byte alone in the log: no two byte values look the same.
void TestScreenshot::render()
{
    if (QGuiApplication::platformName() != "xcb")
        QSKIP("needs a real X server: run under xvfb-run");
    QApplication::setCursorFlashTime(0); // the caret always drawn
    std::string everyByte;
    for (int code = 0; code < 256; ++code)
        everyByte += char(code);
    WindowRig rig({.reply = everyByte});
    QVERIFY(rig.shown());
    QCoreApplication::processEvents();
    const QImage start = rig.window.grab().toImage();
    QCOMPARE(QCryptographicHash::hash(QByteArrayView(start.constBits(), start.sizeInBytes()),
                                      QCryptographicHash::Sha1)
                 .toHex(),
             "2a8822337ad91fbb985ce64ea8ad1feb8141a2e1");
    // The task bar's icon is the installed one: its dark ground shows in the middle.
    QCOMPARE(rig.window.windowIcon().pixmap(32).toImage().pixelColor(16, 8), QColor("#2f4858"));

    rig.send("RD D100");
    QCOMPARE(rig.log().toLatin1(),
             "COM 1: Open at 9600,N,8,1\r\n" + QByteArray::fromStdString(everyByte) + "\r\n");
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
    QHash<QByteArray, int>
        seen; // the picture of each byte alone in the log, as the operator sees it
    for (int code = 0; code < 256; ++code) {
        box->clear();
        box->appendLine(QString(QChar(char16_t(code))));
        QCoreApplication::processEvents();
        const QImage picture = box->viewport()->grab().toImage();
        const QByteArray pixels(reinterpret_cast<const char *>(picture.constBits()),
                                picture.sizeInBytes());
        QVERIFY2(
            !seen.contains(pixels),
            qPrintable(
                QString("0x%1 looks like 0x%2").arg(code, 2, 16).arg(seen.value(pixels), 2, 16)));
        seen.insert(pixels, code);
    }
}

QTEST_MAIN(TestScreenshot)
#include "tst_screenshot.moc"
