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
    void refusals_data();
    void refusals();
};

void TestFraming::appendFCS_data()
{
    QTest::addColumn<qint16>("unit");
    QTest::addColumn<QString>("command");
    QTest::addColumn<QString>("frame");

    QTest::newRow("unit 0") << qint16(0) << "abc"
                            << "@00abc20*";
    QTest::newRow("unit 10, empty command") << qint16(10) << ""
                                            << "@0A31*";
    QTest::newRow("unit 255") << qint16(255) << ""
                              << "@FF40*";
    QTest::newRow("unit 256: three digits") << qint16(256) << ""
                                            << "@10071*";
    QTest::newRow("unit -1: four digits") << qint16(-1) << ""
                                          << "@FFFF40*";
    QTest::newRow("unit -32768") << qint16(-32768) << ""
                                 << "@800048*";
    QTest::newRow("FCS below 16 gets its 0") << qint16(0) << "O"
                                             << "@00O0F*";
    QTest::newRow("Latin-1 character") << qint16(1) << QString(QChar(0xE9)) << "@01\u00E9A8*";
}

void TestFraming::appendFCS()
{
    QFETCH(qint16, unit);
    QFETCH(QString, command);
    QFETCH(QString, frame);
    QCOMPARE(::appendFCS(unit, command), frame);
    QCOMPARE(command, frame);
}

void TestFraming::computeFCS_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<qint16>("fcs");

    QTest::newRow("one character") << "A" << qint16(0x41);
    QTest::newRow("pair cancels") << "AA" << qint16(0);
    QTest::newRow("frame head") << "@00abc" << qint16(0x20);
    QTest::newRow("high byte") << QString(QChar(0xFF)) << qint16(255);
    QTest::newRow("far past 32767 characters") << QString(40001, QLatin1Char('x')) << qint16('x');
}

void TestFraming::computeFCS()
{
    QFETCH(QString, text);
    QFETCH(qint16, fcs);
    QCOMPARE(::computeFCS(text), fcs);
}

void TestFraming::refusals_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("framed");
    QTest::newRow("empty text") << "" << false;
    QTest::newRow("no 8-bit code") << QString("a\u20ACb") << false;
    QTest::newRow("no 8-bit code, framed") << QString("a\u20ACb") << true;
}

void TestFraming::refusals()
{
    QFETCH(QString, text);
    QFETCH(bool, framed);
    QString command = text;
    if (framed)
        QVERIFY_THROWS_EXCEPTION(Failure, ::appendFCS(1, command));
    else
        QVERIFY_THROWS_EXCEPTION(Failure, ::computeFCS(text));
    QCOMPARE(command, text);
}

QTEST_GUILESS_MAIN(TestFraming)
#include "tst_framing.moc"
