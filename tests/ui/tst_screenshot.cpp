#include "windowrig.h"

#include <QGuiApplication>
#include <QImage>

// Renders the working window on a real X server to vantrel-window.png in the build folder, for
// a person to look at: after load, one exchange, a reply holding control characters.
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
    plcsim::PlcOptions options;
    options.reply = "OK\r\x05 reply";
    WindowRig rig(options);
    rig.window.show();
    rig.window.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&rig.window));
    rig.send("RD D100");
    rig.commandString()->selectAll();
    QTest::keyClicks(rig.commandString(), "@00RD56*");

    // Rendered by the widgets themselves, so it shows their state now rather than whatever
    // the X server last drew.
    const QImage shot = rig.window.grab().toImage();
    QCOMPARE(shot.size(), rig.window.size() * rig.window.devicePixelRatio());
    QVERIFY(shot.pixel(5, 5) != shot.pixel(30, 250)); // not blank: the window and its log box
    QVERIFY(shot.save("vantrel-window.png"));
}

QTEST_MAIN(TestScreenshot)
#include "tst_screenshot.moc"
