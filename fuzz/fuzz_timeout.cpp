// The timeout text against an exact decimal reading: blanks (space, tab) around an optional
// sign and digits with at most one point, rounded half to even, within 32-bit signed range.
#include "fuzzinput.h"
#include "timeouttext.h"

#include <QRegularExpression>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    // Sign, whole part without leading zeros, fraction without trailing zeros; a digit must
    // follow the sign, or a point and a digit.
    static const QRegularExpression number(QRegularExpression::anchoredPattern(
        u"[ \t]*([+-]?)(?=\\.?[0-9])0*([0-9]*)(?:\\.([0-9]*?)0*)?[ \t]*"_qs));
    const QString text = FuzzInput{data, size}.text();
    const QRegularExpressionMatch m = number.match(text);
    qint64 magnitude = m.captured(2).toLongLong();
    // Without trailing zeros, fractions compare as their digit strings: "5" is the exact half.
    if (m.captured(3) > u"5" || (m.captured(3) == u"5" && magnitude % 2 == 1))
        ++magnitude;
    const qint64 value = m.captured(1) == u"-" ? -magnitude : magnitude;
    const bool exact = m.hasMatch() && m.captured(2).size() <= 10 && value == qint32(value);
    expectSame(outcome([&] { return parseTimeout(text); }),
               exact ? std::optional(qint32(value)) : std::nullopt, "timeout text read exactly");
    return 0;
}
