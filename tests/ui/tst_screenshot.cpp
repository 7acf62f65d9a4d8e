#include "windowrig.h"

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

QTEST_MAIN(TestScreenshot)
#include "tst_screenshot.moc"
