#include "windowrig.h"

#include <QContextMenuEvent>
#include <QTemporaryDir>
#include <QTimer>

// What the window offers beyond its six handlers: the command history and Save Log As.
class TestConveniences : public QObject
{
    Q_OBJECT
private slots:
    void commandHistory();
    void saveLog_data();
    void saveLog();
};

void TestConveniences::commandHistory()
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
    QCOMPARE(rig.plc.received(), QByteArray("\x05"
                                            "A\r\x05"
                                            "B\r"));
}

void TestConveniences::saveLog_data()
{
    QTest::addColumn<QString>("file");  // "" for a cancelled dialog; "DIR/" is the test folder
    QTest::addColumn<QString>("typed"); // typed into the log after the exchange
    QTest::addColumn<QString>("failure");

    QTest::newRow("the log as the bytes received") << "DIR/log.txt"
                                                   << ""
                                                   << "";
    QTest::newRow("cancelled") << ""
                               << ""
                               << "";
    QTest::newRow("folder missing") << "DIR/missing/log.txt"
                                    << ""
                                    << "The log could not be saved to DIR/missing/log.txt";
    QTest::newRow("typed text without a byte") << "DIR/log.txt"
                                               << "€"
                                               << "The log holds the character '€'";
}

void TestConveniences::saveLog()
{
    QFETCH(QString, file);
    QFETCH(QString, typed);
    QFETCH(QString, failure);

    QTemporaryDir dir;
    plcsim::PlcOptions options;
    options.reply = std::string("A\0\x85\xff", 4);
    WindowRig rig(options);
    rig.send("RD");
    rig.responseBox()->moveCursor(QTextCursor::End);
    rig.responseBox()->insertPlainText(typed);
    rig.logFile = QString(file).replace("DIR", dir.path());

    // Through the log's context menu, as the operator does it.
    QTimer::singleShot(0, [] {
        for (QAction *action : QApplication::activePopupWidget()->actions())
            if (action->text() == "Save Log As…")
                action->trigger();
        QApplication::activePopupWidget()->close();
    });
    QContextMenuEvent menu(QContextMenuEvent::Keyboard, {5, 5}, {5, 5});
    QApplication::sendEvent(rig.responseBox()->viewport(), &menu);

    const QStringList expected =
        failure.isEmpty() ? QStringList() : QStringList(failure.replace("DIR", dir.path()));
    QCOMPARE(rig.failures.size(), expected.size());
    if (!failure.isEmpty())
        QVERIFY2(rig.failures[0].startsWith(failure), qPrintable(rig.failures[0]));
    QFile saved(dir.filePath("log.txt"));
    QCOMPARE(saved.open(QIODevice::ReadOnly) ? saved.readAll() : QByteArray(),
             file == "DIR/log.txt" && failure.isEmpty()
                 ? QByteArray("COM 1: Open at 9600,N,8,1\r\nA\0\x85\xff\r\n", 33)
                 : QByteArray());
}

QTEST_MAIN(TestConveniences)
#include "tst_conveniences.moc"
