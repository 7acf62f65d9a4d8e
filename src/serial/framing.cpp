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
