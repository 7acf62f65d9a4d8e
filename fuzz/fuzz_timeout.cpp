// The timeout text against an exact decimal reading: blanks (space, tab) around an optional
// sign and digits with at most one point, rounded half to even, within 32-bit signed range.
#include "fuzzinput.h"
#include "timeouttext.h"

#include <optional>
#include <string>

namespace
{

std::optional<qint32> exactReading(const QString &text)
{
    auto blank = [&](qsizetype i) { return text[i] == u' ' || text[i] == u'\t'; };
    qsizetype begin = 0, end = text.size();
    while (begin < end && blank(begin))
        ++begin;
    while (end > begin && blank(end - 1))
        --end;
    bool negative = false;
    if (begin < end && (text[begin] == u'+' || text[begin] == u'-'))
        negative = text[begin++] == u'-';
    std::string whole, fraction;
    bool point = false;
    for (qsizetype i = begin; i < end; ++i) {
        const char16_t c = text[i].unicode();
        if (c == u'.' && !point)
            point = true;
        else if (c >= u'0' && c <= u'9')
            (point ? fraction : whole) += char(c);
        else
            return std::nullopt;
    }
    if (whole.empty() && fraction.empty())
        return std::nullopt;

    whole.erase(0, whole.find_first_not_of('0'));
    if (whole.size() > 10)
        return std::nullopt;
    qint64 magnitude = whole.empty() ? 0 : std::stoll(whole);
    // Digit strings compare as fractions once trailing zeros are gone: "5" is the exact half.
    fraction.erase(fraction.find_last_not_of('0') + 1);
    if (fraction > "5" || (fraction == "5" && magnitude % 2 == 1))
        ++magnitude;
    const qint64 value = negative ? -magnitude : magnitude;
    if (value < INT32_MIN || value > INT32_MAX)
        return std::nullopt;
    return qint32(value);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzInput in(data, size);
    const QString text = in.text();
    const std::optional<qint32> read = outcome([&] { return parseTimeout(text); });
    const std::optional<qint32> exact = exactReading(text);
    expect(read == exact, "timeout text read exactly", [&] {
        return quoted(text) + QStringLiteral(" read as %1, expected %2")
                                  .arg(read ? QString::number(*read) : QStringLiteral("refusal"),
                                       exact ? QString::number(*exact) : QStringLiteral("refusal"));
    });
    return 0;
}
