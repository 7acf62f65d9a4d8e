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
    void wrapMark_data();
    void wrapMark();
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

void TestResponseBox::editingKeepsTheBytes_data()
{
    QTest::addColumn<QStringList>("lines");
    QTest::addColumn<QStringList>("steps");
    QTest::addColumn<QString>("log");
    // "A\x01B" shows as "A‹SOH›B": the tag stands at positions 1 to 6. Steps: "at:N" puts the
    // caret at N, "select:A:N" selects from A to N, "end", a key's name, "type:TEXT", "cut",
    // "paste". The first piece of a long line holds 2,048 characters, or less before a tag.
    const QString tag = QString::fromLatin1("A\x01"
                                            "B");
    const QString full = QString(2048, 'a') + "bc";
    const QString tagNext = QString(2047, 'a') + QString::fromLatin1("\x01"
                                                                     "b");
    // clang-format off
    QTest::newRow("Backspace after a tag takes it whole") << QStringList{tag} << QStringList{"at:6", "Backspace"} << "AB\r\n";
    QTest::newRow("Delete before a tag takes it whole") << QStringList{tag} << QStringList{"at:1", "Delete"} << "AB\r\n";
    QTest::newRow("a caret put inside a tag stands beside it") << QStringList{tag} << QStringList{"at:3", "type:x"} << "A\x01" "xB\r\n";
    QTest::newRow("Left steps over a tag") << QStringList{tag} << QStringList{"at:6", "Left", "type:x"} << "Ax\x01" "B\r\n";
    QTest::newRow("a selection ending inside a tag takes it whole") << QStringList{tag} << QStringList{"select:0:3", "cut"} << "B\r\n";
    QTest::newRow("a reply line cut and pasted reads back as received") << QStringList{"A\x01", "B"}
        << QStringList{"select:0:7", "cut", "end", "paste"} << "B\r\nA\x01\r\n";
    QTest::newRow("a cut from a line's start into its second piece keeps the line break before it")
        << QStringList{"K", full} << QStringList{"select:2:2052", "cut"} << "K\r\nc\r\n";
    QTest::newRow("Backspace at a piece's start takes the character before it") << QStringList{full}
        << QStringList{"at:2049", "Backspace"} << QString(2047, 'a') + "bc\r\n";
    QTest::newRow("Delete at a piece's end takes the tag after it") << QStringList{tagNext}
        << QStringList{"at:2047", "Delete"} << QString(2047, 'a') + "b\r\n";
    // clang-format on
}

void TestResponseBox::editingKeepsTheBytes()
{
    QFETCH(QStringList, lines);
    QFETCH(QStringList, steps);
    QFETCH(QString, log);
    ResponseBox box;
    for (const QString &line : lines)
        box.appendLine(line);
    const QMap<QString, Qt::Key> keys{
        {"Backspace", Qt::Key_Backspace}, {"Delete", Qt::Key_Delete}, {"Left", Qt::Key_Left}};
    for (const QString &step : steps) {
        const QStringList part = step.split(':');
        QTextCursor caret = box.textCursor();
        if (part[0] == "at" || part[0] == "select" || part[0] == "end") {
            caret.setPosition(part[0] == "end" ? box.document()->characterCount() - 1
                                               : part[1].toInt());
            if (part[0] == "select")
                caret.setPosition(part[2].toInt(), QTextCursor::KeepAnchor);
            box.setTextCursor(caret);
        } else if (part[0] == "type")
            QTest::keyClicks(&box, part[1]);
        else if (part[0] == "cut" || part[0] == "paste")
            QTest::keyClick(&box, part[0] == "cut" ? Qt::Key_X : Qt::Key_V, Qt::ControlModifier);
        else
            QTest::keyClick(&box, keys.value(step));
    }
    QCOMPARE(box.logText(), log);
}

// The break between the pieces of a long line is drawn with a wrap mark in the tags' tint.
void TestResponseBox::wrapMark_data()
{
    QTest::addColumn<int>("length");
    QTest::addColumn<bool>("marked");
    QTest::newRow("a line of one piece") << 2048 << false;
    QTest::newRow("a line that goes on in a second piece") << 2049 << true;
}

void TestResponseBox::wrapMark()
{
    QFETCH(int, length);
    QFETCH(bool, marked);
    ResponseBox box;
    box.resize(300, 200);
    box.show();
    box.appendLine(QString(length, 'x'));
    QTextCursor endOfFirstPiece = box.textCursor();
    endOfFirstPiece.setPosition(2048);
    box.setTextCursor(endOfFirstPiece);
    QCoreApplication::processEvents();
    box.ensureCursorVisible();
    const QImage shown = box.viewport()->grab().toImage().convertToFormat(QImage::Format_RGB32);
    bool tinted = false;
    for (int y = 0; y < shown.height(); ++y)
        for (int x = 0; x < shown.width(); ++x)
            tinted = tinted || shown.pixel(x, y) == qRgb(0xD6, 0xE4, 0xFA);
    QCOMPARE(tinted, marked);
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
