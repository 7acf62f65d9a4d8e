#include "bytenotation.h"

#include <QTest>

class TestByteNotation : public QObject
{
    Q_OBJECT
private slots:
    void notation_data();
    void notation();
    void editedTags();
};

void TestByteNotation::notation_data()
{
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("shown"); // empty: shown as itself

    for (int code = 0; code < 256; ++code)
        QTest::addRow("0x%02x", code) << code << QString();
    // A sample of names, checked against ISO 6429 by hand.
    QTest::newRow("NUL") << 0x00 << "‹NUL›";
    QTest::newRow("CR") << 0x0D << "‹CR›";
    QTest::newRow("DEL") << 0x7F << "‹DEL›";
    QTest::newRow("NEL") << 0x85 << "‹NEL›";
    QTest::newRow("APC") << 0x9F << "‹APC›";
    QTest::newRow("NBSP") << 0xA0 << "‹NBSP›";
    QTest::newRow("SHY") << 0xAD << "‹SHY›";
}

void TestByteNotation::notation()
{
    QFETCH(int, code);
    QFETCH(QString, shown);

    const QChar byte{char16_t(code)};
    const QString tag = ByteNotation::tagFor(byte);
    if (!shown.isEmpty())
        QCOMPARE(tag, shown);
    // Only what draws as nothing, as a blank or as a box is tagged; each tag reads back.
    const bool visible = byte == u' ' || (byte.isPrint() && !byte.isSpace() && code != 0xAD);
    QCOMPARE(tag.isEmpty(), visible);
    const QString text = tag.isEmpty() ? QString(byte) : "x" + tag + tag;
    QCOMPARE(ByteNotation::original(text), tag.isEmpty() ? text : "x" + QString(2, byte));
}

void TestByteNotation::editedTags()
{
    // A tag broken by an edit stays as text, and does not swallow the tag after it.
    QCOMPARE(ByteNotation::original(u"‹C‹LF›R› ‹XYZ›"), QString("‹C\nR› ‹XYZ›"));
}

QTEST_MAIN(TestByteNotation)
#include "tst_bytenotation.moc"
