#include "failure.h"
#include "framing.h"

#include <QTest>

class TestFraming : public QObject
{
    Q_OBJECT
private slots:
    void appendFCS_data();
    void appendFCS();
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
    QTest::newRow("unit 256: three digits") << qint16(256) << "" << "@10071*";
    QTest::newRow("unit -1: four digits") << qint16(-1) << "" << "@FFFF40*";
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

void TestFraming::computeFCS()
{
    QCOMPARE(::computeFCS(QString(QChar(0xFF))), qint16(0xFF));
    QCOMPARE(::computeFCS(QString(40001, QLatin1Char('x'))), qint16('x'));
    QVERIFY_THROWS_EXCEPTION(Failure, ::computeFCS(""));
    QVERIFY_THROWS_EXCEPTION(Failure, ::computeFCS("a\u20ACb"));
}

QTEST_GUILESS_MAIN(TestFraming)
#include "tst_framing.moc"
