#include "framing.h"

#include <QTest>

// The frame's layout and check against XOR are proven over all inputs by fuzz/fuzz_framing;
// here the two digit rules an operator's controller is strict about.
class TestFraming : public QObject
{
    Q_OBJECT
private slots:
    void appendFCS();
};

void TestFraming::appendFCS()
{
    // Unit 10 in upper-case hex; the check of "@0A1" is 0, written with both its digits.
    QString command = "1";
    QCOMPARE(::appendFCS(10, command), "@0A100*");
    QCOMPARE(command, "@0A100*");
}

QTEST_GUILESS_MAIN(TestFraming)
#include "tst_framing.moc"
