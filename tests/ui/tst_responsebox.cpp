#include "responsebox.h"

#include <QAccessible>
#include <QApplication>
#include <QClipboard>
#include <QScrollBar>
#include <QTest>

class TestResponseBox : public QObject
{
    Q_OBJECT
private slots:
    void lines();
    void loggedLinesCannotBeUndone();
    void viewFollowsTheEndCaretStays();
};

// A reply with tagged bytes, long enough to be laid out in pieces, then a short one: the log
// reads back as received, and a copy and the screen reader get what the box shows.
void TestResponseBox::lines()
{
    const QString piece = QString(3000, 'x') + QString(1000, '\r'); // tags across piece ends
    const QString first = QString::fromLatin1("A\rB\0\x85\xa0\xff", 7) + piece + piece;
    const QString readable = "A‹CR›B‹NUL›‹NEL›‹NBSP›ÿ" +
                             (QString(3000, 'x') + QString("‹CR›").repeated(1000)).repeated(2) +
                             "\nOK\n";
    ResponseBox box;
    box.appendLine(first);
    box.appendLine("OK");
    QCOMPARE(box.logText(), first + "\r\nOK\r\n");
    box.selectAll();
    box.copy();
    QCOMPARE(QApplication::clipboard()->text(), readable);
    QAccessibleTextInterface *reader = QAccessible::queryAccessibleInterface(&box)->textInterface();
    QCOMPARE(reader->text(0, reader->characterCount()), readable);
    const int last = int(readable.lastIndexOf('\n', -2)) + 1; // offsets past the pieces
    QCOMPARE(reader->text(last, last + 2), QString("OK"));
}

// Undo takes back the operator's typing, never a logged line.
void TestResponseBox::loggedLinesCannotBeUndone()
{
    ResponseBox box;
    box.appendLine("A");
    QTest::keyClicks(&box, "q"); // the caret stays at the start
    box.appendLine("B");
    QTest::keyClicks(&box, "r");
    for (int i = 0; i < 3; ++i)
        QTest::keyClick(&box, Qt::Key_Z, Qt::ControlModifier);
    QCOMPARE(box.logText(), QString("qA\r\nB\r\n"));
}

void TestResponseBox::viewFollowsTheEndCaretStays()
{
    ResponseBox box;
    box.resize(200, 100);
    box.show();
    QScrollBar *scroll = box.verticalScrollBar();
    const auto append = [&](const QString &line, int caretAt, int view) {
        QTextCursor caret = box.textCursor();
        caret.setPosition(caretAt);
        box.setTextCursor(caret);
        scroll->setValue(view);
        box.appendLine(line);
        QCoreApplication::processEvents();
        QCOMPARE(box.textCursor().position(), caretAt);
        QVERIFY(!box.textCursor().hasSelection());
    };
    for (int i = 0; i < 100; ++i)
        append(QString::number(i), 0, scroll->maximum());
    QVERIFY(scroll->maximum() > 0);
    QCOMPARE(scroll->value(), scroll->maximum()); // at the end: the view follows
    append("late", 7, 10);
    QCOMPARE(scroll->value(), 10); // scrolled up to read: the view stays
    append("later", box.document()->characterCount() - 1, scroll->maximum());
    QCOMPARE(scroll->value(), scroll->maximum()); // a caret at the very end is not dragged along
}

QTEST_MAIN(TestResponseBox)
#include "tst_responsebox.moc"
