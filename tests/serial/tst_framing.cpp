#include "failure.h"
#include "framing.h"

#include <QTest>

class TestFraming : public QObject
{
    Q_OBJECT
private slots:
    void appendFCS_data();
    void appendFCS();
    void computeFCS_data();
    void computeFCS();
};

void TestFraming::appendFCS_data()
{
    QTest::addColumn<qint16>("unit");
    QTest::addColumn<QString>("command");
    QTest::addColumn<QString>("frame"); // empty: refused, the command left as it was

    // clang-format off
    QTest::newRow("unit 0") << qint16(0) << "abc" << "@00abc20*";
    QTest::newRow("unit 10, empty command") << qint16(10) << "" << "@0A31*";
    QTest::newRow("unit 255") << qint16(255) << "" << "@FF40*";
    QTest::newRow("unit 256: three digits") << qint16(256) << "" << "@10071*";
    QTest::newRow("unit -1: four digits") << qint16(-1) << "" << "@FFFF40*";
    QTest::newRow("unit -32768") << qint16(-32768) << "" << "@800048*";
    QTest::newRow("FCS below 16 gets its 0") << qint16(0) << "O" << "@00O0F*";
    QTest::newRow("Latin-1 character") << qint16(1) << QString(QChar(0xE9)) << "@01\u00E9A8*";
    QTest::newRow("no 8-bit code: refused") << qint16(1) << QString("a\u20ACb") << "";
    // clang-format on
}

void TestFraming::appendFCS()
{
    QFETCH(qint16, unit);
    QFETCH(QString, command);
    QFETCH(QString, frame);
    const QString before = command;
    if (frame.isEmpty()) {
        QVERIFY_THROWS_EXCEPTION(Failure, ::appendFCS(unit, command));
        QCOMPARE(command, before);
        return;
    }
    QCOMPARE(::appendFCS(unit, command), frame);
    QCOMPARE(command, frame);
}

void TestFraming::computeFCS_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("fcs"); // -1: refused

    QTest::newRow("one character") << "A" << 0x41;
    QTest::newRow("pair cancels") << "AA" << 0;
    QTest::newRow("frame head") << "@00abc" << 0x20;
    QTest::newRow("high byte") << QString(QChar(0xFF)) << 255;
    QTest::newRow("far past 32767 characters") << QString(40001, QLatin1Char('x')) << int('x');
    QTest::newRow("empty text: refused") << "" << -1;
    QTest::newRow("no 8-bit code: refused") << QString("a\u20ACb") << -1;
}

void TestFraming::computeFCS()
{
    QFETCH(QString, text);
    QFETCH(int, fcs);
    if (fcs < 0)
        QVERIFY_THROWS_EXCEPTION(Failure, ::computeFCS(text));
    else
        QCOMPARE(int(::computeFCS(text)), fcs);
}

QTEST_GUILESS_MAIN(TestFraming)
#include "tst_framing.moc"
