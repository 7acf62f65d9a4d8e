// The timeout text against an exact decimal reading: blanks (space, tab) around an optional
// sign and digits with at most one point, rounded half to even, within 32-bit signed range.
#include "fuzzinput.h"
#include "timeouttext.h"

#include <string>

namespace
{

std::optional<qint32> exactReading(const QString &text)
{
    // Characters outside Latin-1 become "?", which no number holds either.
    std::string s = text.toLatin1().toStdString();
    s.erase(0, s.find_first_not_of(" \t"));
    s.erase(s.find_last_not_of(" \t") + 1);
    const bool negative = s.starts_with('-');
    if (s.starts_with('-') || s.starts_with('+'))
        s.erase(0, 1);
    const size_t point = std::min(s.find('.'), s.size());
    std::string whole = s.substr(0, point), fraction = s.substr(std::min(point + 1, s.size()));
    if (s == "." || s.empty() || (whole + fraction).find_first_not_of("0123456789") != s.npos)
        return std::nullopt;
    whole.erase(0, whole.find_first_not_of('0'));
    fraction.erase(fraction.find_last_not_of('0') + 1);
    if (whole.size() > 10)
        return std::nullopt;
    qint64 magnitude = whole.empty() ? 0 : std::stoll(whole);
    // Without trailing zeros, fractions compare as their digit strings: "5" is the exact half.
    if (fraction > "5" || (fraction == "5" && magnitude % 2 == 1))
        ++magnitude;
    const qint64 value = negative ? -magnitude : magnitude;
    return value < INT32_MIN || value > INT32_MAX ? std::nullopt : std::optional(qint32(value));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString text = FuzzInput{data, size}.text();
    expectSame(outcome([&] { return parseTimeout(text); }), exactReading(text),
               "timeout text read exactly", text);
    return 0;
}
