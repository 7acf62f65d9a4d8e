#include "bytenotation.h"

#include <QTest>

class TestByteNotation : public QObject
{
    Q_OBJECT
private slots:
    void notation_data();
    void notation();
};

void TestByteNotation::notation_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("shown");

    QString everyByte;
    for (char16_t code = 0; code < 256; ++code)
        everyByte += QChar(code);
    QTest::newRow("C0, DEL, C1, NBSP, SHY")
        << QString::fromLatin1("\0\x05\r\x1f\x7f\x80\x9f\xa0\xad", 9)
        << "‹NUL›‹ENQ›‹CR›‹US›‹DEL›‹PAD›‹APC›‹NBSP›‹SHY›";
    QTest::newRow("printable Latin-1 as it is") << "A ~\u00a1\u00ff"
                                                << "A ~\u00a1\u00ff";
    QTest::newRow("every byte") << everyByte << QString();
}

void TestByteNotation::notation()
{
    QFETCH(QString, text);
    QFETCH(QString, shown);

    const QString tagged = ByteNotation::shown(text);
    if (!shown.isNull())
        QCOMPARE(tagged, shown);
    QCOMPARE(ByteNotation::original(tagged), text);
    // Nothing shown draws as nothing or as a blank, but the blank itself.
    for (QChar c : tagged)
        QVERIFY2(c == u' ' || (c.isPrint() && !c.isSpace()),
                 qPrintable(QString::number(c.unicode(), 16)));
    // A tag broken by an edit stays as text, and does not swallow the tag after it.
    QCOMPARE(ByteNotation::original(u"‹C‹LF›R›"), QString("‹C\nR›"));
}

QTEST_MAIN(TestByteNotation)
#include "tst_bytenotation.moc"
