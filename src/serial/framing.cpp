#include "framing.h"

#include "failure.h"
#include "latin1.h"

namespace
{

QString twoHexDigitsAtLeast(quint16 value)
{
    return QStringLiteral("%1").arg(value, 2, 16, QLatin1Char('0')).toUpper();
}

} // namespace

qint16 computeFCS(const QString &text)
{
    if (text.isEmpty())
        throw Failure(QStringLiteral("The frame check of an empty text cannot be computed."));
    quint8 fcs = 0;
    for (const char byte : toWireBytes(text, QStringLiteral("The text to frame")))
        fcs ^= static_cast<quint8>(byte);
    return fcs;
}

QString appendFCS(qint16 unit, QString &command)
{
    QString frame = QLatin1Char('@') + twoHexDigitsAtLeast(static_cast<quint16>(unit)) + command;
    frame += twoHexDigitsAtLeast(static_cast<quint16>(computeFCS(frame))) + QLatin1Char('*');
    command = frame;
    return frame;
}

bool frameCheckHolds(const QString &frame)
{
    // The shortest frame that can carry an FCS: one character, two digits, "*".
    if (frame.size() < 4 || !frame.endsWith(QLatin1Char('*')))
        return false;
    // Worked out in place: every framed reply is checked, so this runs once an exchange.
    quint8 fcs = 0;
    for (const QChar c : QStringView(frame).chopped(3)) {
        if (c.unicode() > 0xFF)
            return false;
        fcs ^= static_cast<quint8>(c.unicode());
    }
    static constexpr char kDigits[] = "0123456789ABCDEF";
    return frame.at(frame.size() - 3) == QLatin1Char(kDigits[fcs >> 4]) &&
           frame.at(frame.size() - 2) == QLatin1Char(kDigits[fcs & 0xF]);
}
