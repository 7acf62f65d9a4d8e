#include "responsebox.h"

#include <QAccessible>
#include <QApplication>
#include <QClipboard>
#include <QKeyEvent>
#include <QScrollBar>
#include <QTest>
#include <QTextBlock>

class TestResponseLog : public QObject
{
    Q_OBJECT
private slots:
    void lines_data();
    void lines();
    void operatorTextStaysTheOperators();
    void viewFollowsTheEndCaretStays();
};

void TestResponseLog::lines_data()
{
    QTest::addColumn<QString>("before"); // what the operator typed into the box
    QTest::addColumn<QStringList>("lines");
    QTest::addColumn<QString>("readable"); // what a copy and the screen reader get

    const QString longLine = QString(5000, u'x') + QString(3000, u'\r') + QString(5000, u'y');
    QString everyByte;
    for (char16_t code = 0; code < 256; ++code)
        everyByte += QChar(code);
    QTest::newRow("plain lines") << "" << QStringList{"COM 1: Open at 9600,N,8,1", "OK"}
                                 << "COM 1: Open at 9600,N,8,1\nOK\n";
    QTest::newRow("tagged bytes") << ""
                                  << QStringList{QString::fromLatin1("A\rB\0\x7f\x85\xa0\xad\xff",
                                                                     9)}
                                  << "A‹CR›B‹NUL›‹DEL›‹NEL›‹NBSP›‹SHY›ÿ\n";
    QTest::newRow("every byte") << "" << QStringList{everyByte} << "";
    QTest::newRow("unfinished typed line is continued")
        << "typed" << QStringList{"OK"} << "typedOK\n";
    QTest::newRow("operator's line breaks") << "a\nb\n" << QStringList{"OK"} << "a\nb\nOK\n";
    QTest::newRow("operator's text that looks like a tag")
        << "‹CR›" << QStringList{"\r"} << "‹CR›‹CR›\n";
    QTest::newRow("empty line") << "" << QStringList{""} << "\n";
    QTest::newRow("long line, then a short one")
        << "" << QStringList{longLine, "OK"}
        << QString(5000, u'x') + QString("‹CR›").repeated(3000) + QString(5000, u'y') + "\nOK\n";
}

void TestResponseLog::lines()
{
    QFETCH(QString, before);
    QFETCH(QStringList, lines);
    QFETCH(QString, readable);

    ResponseBox box;
    box.setPlainText(before);
    for (const QString &line : lines)
        box.appendLine(line);
    QString log = QString(before).replace("\n", "\r\n");
    for (const QString &line : lines)
        log += line + "\r\n";
    QCOMPARE(box.logText(), log);

    QString shown = box.readableText(0, box.document()->characterCount() - 1);
    if (!readable.isEmpty())
        QCOMPARE(shown, readable);
    // Nothing in it draws as nothing or as a blank but the blank itself.
    for (QChar c : shown)
        QVERIFY2(c == u'\n' || c == u' ' || (c.isPrint() && !c.isSpace()),
                 qPrintable(QString::number(c.unicode(), 16)));

    box.selectAll();
    box.copy();
    QCOMPARE(QApplication::clipboard()->text(), shown);
    QAccessibleTextInterface *reader = QAccessible::queryAccessibleInterface(&box)->textInterface();
    QVERIFY(reader);
    QCOMPARE(reader->text(0, reader->characterCount()), shown);
    const qsizetype ok = shown.lastIndexOf("OK");
    if (ok >= 0 && lines.size() > 1)
        QCOMPARE(reader->text(int(ok), int(ok) + 2), QString("OK"));
}

void TestResponseLog::operatorTextStaysTheOperators()
{
    ResponseBox box;
    box.appendLine("A\r" + QString(3000, u'z')); // "A‹CR›zz…", laid out in two pieces

    // Typing right after a tag, and Enter inside the second piece, are the operator's own.
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
    const qsizetype before = breakAt - 9 - 1; // z before the break, in both pieces
    const QString log =
        "A\r‹LF›" + QString(before, u'z') + "\r\n‹ESC›" + QString(3000 - before, u'z') + "\r\n";
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

void TestResponseLog::viewFollowsTheEndCaretStays()
{
    ResponseBox box;
    box.resize(200, 100);
    box.show();
    QVERIFY(QTest::qWaitForWindowExposed(&box));
    QScrollBar *scroll = box.verticalScrollBar();
    for (int i = 0; i < 100; ++i)
        box.appendLine(QString::number(i));
    QVERIFY(scroll->maximum() > 0);
    QCOMPARE(scroll->value(), scroll->maximum());
    QCOMPARE(box.textCursor().position(), 0);

    // Scrolled up to read: the view stays.
    QTextCursor caret = box.textCursor();
    caret.setPosition(7);
    box.setTextCursor(caret);
    scroll->setValue(10);
    box.appendLine("late");
    QCOMPARE(scroll->value(), 10);
    QCOMPARE(box.textCursor().position(), 7);

    // At the end: the view follows; a caret at the very end is not dragged along.
    caret.movePosition(QTextCursor::End);
    box.setTextCursor(caret);
    const int end = caret.position();
    scroll->setValue(scroll->maximum());
    box.appendLine("later");
    QCOMPARE(scroll->value(), scroll->maximum());
    QCOMPARE(box.textCursor().position(), end);
    QVERIFY(!box.textCursor().hasSelection());
}

QTEST_MAIN(TestResponseLog)
#include "tst_responselog.moc"
