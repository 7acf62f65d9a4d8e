#include "timeouttext.h"

#include "failure.h"

#include <QRegularExpression>

#include <algorithm>
#include <limits>

qint32 parseTimeout(const QString &text)
{
    // The usual text, a few digits with blanks around them ("500 "), is read at once: every
    // exchange reads the timeout two or three times.
    const auto blank = [](QChar c) { return c == u' ' || c == u'\t'; };
    qsizetype from = 0;
    qsizetype to = text.size();
    while (from < to && blank(text.at(from)))
        ++from;
    while (to > from && blank(text.at(to - 1)))
        --to;
    const QStringView digits = QStringView(text).sliced(from, to - from);
    if (!digits.isEmpty() && digits.size() <= 9 &&
        std::all_of(digits.begin(), digits.end(), [](QChar c) { return c >= u'0' && c <= u'9'; }))
        return digits.toInt();

    // Anchored to the very end: "$" alone would also match before a final line feed.
    static const QRegularExpression number(QRegularExpression::anchoredPattern(
        QStringLiteral(R"([ \t]*([+-]?)(?:(\d+)(?:\.(\d*))?|\.(\d+))[ \t]*)")));
    const QRegularExpressionMatch match = number.match(text);
    if (!match.hasMatch())
        throw Failure(
            QStringLiteral("The timeout \"%1\" is not a number of milliseconds.").arg(text),
            Remedy::EnterTimeout);

    const bool negative = match.captured(1) == QLatin1String("-");
    QString whole = match.captured(2);
    const QString fraction = match.hasCaptured(3) ? match.captured(3) : match.captured(4);
    while (whole.size() > 1 && whole.startsWith(QLatin1Char('0')))
        whole.remove(0, 1);

    // Worked on the digits themselves, so "0.5000000000000000001" rounds up as it should.
    constexpr qint64 limit = qint64(std::numeric_limits<qint32>::max()) + 1;
    qint64 magnitude = whole.size() > 10 ? limit + 1 : whole.toLongLong();
    if (!fraction.isEmpty() && magnitude <= limit) {
        const QChar first = fraction.at(0);
        const bool restIsZero =
            QStringView(fraction).mid(1).count(QLatin1Char('0')) == fraction.size() - 1;
        if (first > QLatin1Char('5') || (first == QLatin1Char('5') && !restIsZero) ||
            (first == QLatin1Char('5') && magnitude % 2 == 1))
            ++magnitude;
    }

    const qint64 value = negative ? -magnitude : magnitude;
    if (value < std::numeric_limits<qint32>::min() || value > std::numeric_limits<qint32>::max())
        throw Failure(QStringLiteral("The timeout \"%1\" is out of range: it must lie between "
                                     "-2147483648 and 2147483647 ms.")
                          .arg(text));
    return static_cast<qint32>(value);
}
