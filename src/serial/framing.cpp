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
    const QString checked = frame.chopped(3);
    for (const QChar c : checked)
        if (c.unicode() > 0xFF)
            return false;
    return frame.mid(checked.size(), 2) ==
           twoHexDigitsAtLeast(static_cast<quint16>(computeFCS(checked)));
}
