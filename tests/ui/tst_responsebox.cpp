#include "responsebox.h"

#include <QAccessible>
#include <QApplication>
#include <QClipboard>
#include <QKeyEvent>
#include <QScrollBar>
#include <QTest>
#include <QTextBlock>

class TestResponseBox : public QObject
{
    Q_OBJECT
private slots:
    void lines_data();
    void lines();
    void operatorTextStaysTheOperators();
    void viewFollowsTheEndCaretStays();
};

void TestResponseBox::lines_data()
{
    QTest::addColumn<QString>("before"); // what the operator typed into the box
    QTest::addColumn<QStringList>("lines");
    QTest::addColumn<QString>("readable"); // what a copy and the screen reader get

    const QString piece = QString(3000, 'x') + QString(1000, '\r');
    QTest::newRow("tagged bytes") << "" << QStringList{QString::fromLatin1("A\rB\0\x85\xa0\xff", 7)}
                                  << "A‹CR›B‹NUL›‹NEL›‹NBSP›ÿ\n";
    QTest::newRow("unfinished typed line is continued")
        << "a\nb" << QStringList{"OK"} << "a\nbOK\n";
    QTest::newRow("typed text that looks like a tag")
        << "‹CR›" << QStringList{"\r"} << "‹CR›‹CR›\n";
    QTest::newRow("long line, then a short one")
        << "" << QStringList{piece + piece, "OK"}
        << (QString(3000, 'x') + QString("‹CR›").repeated(1000)).repeated(2) + "\nOK\n";
}

void TestResponseBox::lines()
{
    QFETCH(QString, before);
    QFETCH(QStringList, lines);
    QFETCH(QString, readable);

    ResponseBox box;
    box.setPlainText(before);
    for (const QString &line : lines)
        box.appendLine(line);
    QCOMPARE(box.logText(), QString(before).replace("\n", "\r\n") + lines.join("\r\n") + "\r\n");
    box.selectAll();
    box.copy();
    QCOMPARE(QApplication::clipboard()->text(), readable);
    QAccessibleTextInterface *reader = QAccessible::queryAccessibleInterface(&box)->textInterface();
    QCOMPARE(reader->text(0, reader->characterCount()), readable);
    const int last = int(readable.lastIndexOf('\n', -2)) + 1; // offsets past the pieces
    QCOMPARE(reader->text(last, last + 2), readable.mid(last, 2));
}

void TestResponseBox::operatorTextStaysTheOperators()
{
    ResponseBox box;
    box.appendLine("A\r" + QString(3000, 'z')); // "A‹CR›zz…", laid out in two pieces

    // Typed right after a tag, an Enter inside the second piece, a paste: all the operator's.
    QTextCursor caret = box.textCursor();
    caret.setPosition(5);
    box.setTextCursor(caret);
    QKeyEvent typed(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, "‹LF›");
    QApplication::sendEvent(&box, &typed);
    const int breakAt = box.document()->findBlockByNumber(1).position() + 100;
    caret.setPosition(breakAt);
    box.setTextCursor(caret);
    QTest::keyClick(&box, Qt::Key_Return);
    QApplication::clipboard()->setText("‹ESC›");
    box.paste();
    const int zBefore = breakAt - 9 - 1; // less "A‹CR›‹LF›" and the break between the pieces
    const QString log =
        "A\r‹LF›" + QString(zBefore, 'z') + "\r\n‹ESC›" + QString(3000 - zBefore, 'z') + "\r\n";
    QCOMPARE(box.logText(), log);

    // Undo takes back the operator's typing, never a logged line, nor a cleared log.
    box.appendLine("B");
    QTest::keyClicks(&box, "q");
    for (int i = 0; i < 3; ++i)
        QTest::keyClick(&box, Qt::Key_Z, Qt::ControlModifier);
    QCOMPARE(box.logText(), log + "B\r\n");
    box.clear();
    QTest::keyClick(&box, Qt::Key_Z, Qt::ControlModifier);
    QCOMPARE(box.logText(), QString());
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
