#include "responsebox.h"

#include <QAccessible>
#include <QApplication>
#include <QClipboard>
#include <QImage>
#include <QScrollBar>
#include <QTest>

class TestResponseBox : public QObject
{
    Q_OBJECT
private slots:
    void lines();
    void editingKeepsTheBytes_data();
    void editingKeepsTheBytes();
    void wrapMark();
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

void TestResponseBox::editingKeepsTheBytes_data()
{
    QTest::addColumn<QStringList>("steps");
    QTest::addColumn<QString>("log");
    // Steps: "append:TEXT" logs a line, "at:N" puts the caret at N, "select:A:N" selects from A to
    // N, "type:TEXT" types, anything else names keys pressed. "A\x01B" shows as "A‹SOH›B": the tag
    // stands at positions 1 to 6. The first piece of a long line holds 2,048 characters, or less
    // before a tag.
    const QString tag = QString::fromLatin1("append:A\x01"
                                            "B");
    const QString full = "append:" + QString(2048, 'a') + "bc";
    // clang-format off
    QTest::newRow("Backspace after a tag takes it whole") << QStringList{tag, "at:6", "Backspace"} << "AB\r\n";
    QTest::newRow("Delete before a tag takes it whole") << QStringList{tag, "at:1", "Del"} << "AB\r\n";
    QTest::newRow("a caret put inside a tag stands beside it") << QStringList{tag, "at:3", "type:x"} << "A\x01" "xB\r\n";
    QTest::newRow("Left steps over a tag") << QStringList{tag, "at:6", "Left", "type:x"} << "Ax\x01" "B\r\n";
    QTest::newRow("a selection ending inside a tag takes it whole") << QStringList{tag, "select:0:3", "Ctrl+X"} << "B\r\n";
    QTest::newRow("a reply line cut and pasted reads back as received")
        << QStringList{"append:A\x01", "append:B", "select:0:7", "Ctrl+X", "Ctrl+End", "Ctrl+V"} << "B\r\nA\x01\r\n";
    QTest::newRow("a cut from a line's start into its second piece keeps the line break before it")
        << QStringList{"append:K", full, "select:2:2052", "Ctrl+X"} << "K\r\nc\r\n";
    QTest::newRow("Backspace at a piece's start takes the character before it")
        << QStringList{full, "at:2049", "Backspace"} << QString(2047, 'a') + "bc\r\n";
    QTest::newRow("Delete at a piece's end takes the tag after it")
        << QStringList{"append:" + QString(2047, 'a') + "\x01" "b", "at:2047", "Del"} << QString(2047, 'a') + "b\r\n";
    QTest::newRow("Undo takes back the operator's typing, never a logged line") // the caret stays at 0
        << QStringList{"append:A", "type:q", "append:B", "type:r", "Ctrl+Z", "Ctrl+Z", "Ctrl+Z"} << "qA\r\nB\r\n";
    // clang-format on
}

void TestResponseBox::editingKeepsTheBytes()
{
    QFETCH(QStringList, steps);
    QFETCH(QString, log);
    ResponseBox box;
    for (const QString &step : steps) {
        const QString kind = step.section(':', 0, 0), text = step.section(':', 1);
        QTextCursor caret = box.textCursor();
        if (kind == "append")
            box.appendLine(text);
        else if (kind == "type")
            QTest::keyClicks(&box, text);
        else if (kind == "at" || kind == "select") {
            caret.setPosition(text.section(':', 0, 0).toInt());
            caret.setPosition(text.section(':', -1).toInt(), QTextCursor::KeepAnchor);
            box.setTextCursor(caret);
        } else {
            const QKeyCombination key = QKeySequence(step)[0];
            QTest::keyClick(&box, key.key(), key.keyboardModifiers());
        }
    }
    QCOMPARE(box.logText(), log);
}

// The break between the pieces of a long line is drawn with a wrap mark in the tags' tint; a
// line of one piece has none.
void TestResponseBox::wrapMark()
{
    for (const int length : {2048, 2049}) {
        ResponseBox box;
        box.resize(2400, 400); // the first piece in a few rows, its end in sight
        box.show();
        box.appendLine(QString(length, 'x'));
        QCoreApplication::processEvents();
        const QImage shown = box.viewport()->grab().toImage().convertToFormat(QImage::Format_RGB32);
        const auto *pixels = reinterpret_cast<const QRgb *>(shown.constBits());
        const QRgb tint = qRgb(0xD6, 0xE4, 0xFA);
        QCOMPARE(std::count(pixels, pixels + shown.width() * shown.height(), tint) > 0,
                 length > 2048);
    }
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
