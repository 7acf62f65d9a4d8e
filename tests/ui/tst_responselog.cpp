#include "responselog.h"

#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTest>

class TestResponseLog : public QObject
{
    Q_OBJECT
private slots:
    void lines_data();
    void lines();
    void caretAndViewStay();
};

void TestResponseLog::lines_data()
{
    QTest::addColumn<QString>("before"); // what the box held, as the operator typed it
    QTest::addColumn<QStringList>("lines");
    QTest::addColumn<QString>("log");
    QTest::addColumn<int>("shownLines");

    QTest::newRow("plain lines") << "" << QStringList{"COM 1: Open at 9600,N,8,1", "OK"}
                                 << "COM 1: Open at 9600,N,8,1\r\nOK\r\n"
                                 << 3;
    QTest::newRow("CR, LF and NUL inside a reply")
        << "" << QStringList{QString("A\rB\nC") + QChar(0) + "D"}
        << QString("A\rB\nC") + QChar(0) + "D\r\n"
        << 2;
    QTest::newRow("every control character comes back")
        << "" << QStringList{QString::fromLatin1("\x01\x05\x1b\x1f\x7f\x80\x9f \xa0\xff")}
        << QString::fromLatin1("\x01\x05\x1b\x1f\x7f\x80\x9f \xa0\xff\r\n") << 2;
    QTest::newRow("an unfinished line is continued")
        << "typed" << QStringList{"OK"} << "typedOK\r\n"
        << 2;
    QTest::newRow("operator's own line breaks read as CR LF")
        << "a\nb\n"
        << QStringList{"OK"} << "a\r\nb\r\nOK\r\n"
        << 4;
    QTest::newRow("empty line") << "" << QStringList{""} << "\r\n" << 2;
}

void TestResponseLog::lines()
{
    QFETCH(QString, before);
    QFETCH(QStringList, lines);
    QFETCH(QString, log);
    QFETCH(int, shownLines);

    QPlainTextEdit box;
    box.setPlainText(before);
    for (const QString &line : lines)
        appendLogLine(&box, line);
    QCOMPARE(logText(&box), log);
    // Only the CR LF that ends a line breaks it, and no control character goes unseen.
    QCOMPARE(box.document()->blockCount(), shownLines);
    const QString shown = box.toPlainText();
    for (QChar c : shown)
        QVERIFY2(c == '\n' ||
                     (c.category() != QChar::Other_Control && c.category() != QChar::Other_Format &&
                      !c.isSpace()) ||
                     c == ' ' || c == QChar(0xA0),
                 qPrintable(QString::number(c.unicode(), 16)));
}

void TestResponseLog::caretAndViewStay()
{
    QPlainTextEdit box;
    box.resize(200, 100);
    box.show();
    QVERIFY(QTest::qWaitForWindowExposed(&box));
    for (int i = 0; i < 100; ++i)
        appendLogLine(&box, QString::number(i));
    QCOMPARE(box.textCursor().position(), 0);
    QVERIFY(!box.textCursor().hasSelection());
    QTextCursor caret = box.textCursor();
    caret.setPosition(7);
    box.setTextCursor(caret);
    box.verticalScrollBar()->setValue(10);

    appendLogLine(&box, "late");
    QCOMPARE(box.textCursor().position(), 7);
    QCOMPARE(box.verticalScrollBar()->value(), 10);

    // A caret at the very end is not dragged along either.
    caret.movePosition(QTextCursor::End);
    box.setTextCursor(caret);
    const int end = caret.position();
    appendLogLine(&box, "later");
    QCOMPARE(box.textCursor().position(), end);
    QVERIFY(!box.textCursor().hasSelection());
}

QTEST_MAIN(TestResponseLog)
#include "tst_responselog.moc"
