#include "linesettings.h"

#include "failure.h"

#include <QStringList>

namespace
{

Failure refusal(const QString &settings, const QString &why)
{
    return Failure(
        QStringLiteral("The line settings \"%1\" cannot be used: %2.").arg(settings, why));
}

bool allDigits(const QString &text)
{
    if (text.isEmpty())
        return false;
    for (QChar c : text)
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return false;
    return true;
}

} // namespace

LineSettings LineSettings::parse(const QString &settings)
{
    const QStringList fields = settings.split(QLatin1Char(','));
    if (fields.size() != 4)
        throw refusal(settings, QStringLiteral("expected baud,parity,data bits,stop bits"));

    LineSettings line;
    bool inRange = false;
    const qint32 baud = fields[0].toInt(&inRange);
    if (!allDigits(fields[0]) || !inRange || baud <= 0)
        throw refusal(settings, QStringLiteral("the baud rate must be a positive whole number"));
    line.baudRate = baud;

    // ASCII letters only: QString::toUpper() would also turn "\u017F" (long s) into "S".
    const QString &letter = fields[1];
    const QString parity =
        letter.size() == 1 && letter[0].unicode() < 0x80 ? letter.toUpper() : QString();
    if (parity == QLatin1String("N"))
        line.parity = QSerialPort::NoParity;
    else if (parity == QLatin1String("E"))
        line.parity = QSerialPort::EvenParity;
    else if (parity == QLatin1String("O"))
        line.parity = QSerialPort::OddParity;
    else if (parity == QLatin1String("M"))
        line.parity = QSerialPort::MarkParity;
    else if (parity == QLatin1String("S"))
        line.parity = QSerialPort::SpaceParity;
    else
        throw refusal(settings, QStringLiteral("the parity must be one of N, E, O, M, S"));

    const QString &data = fields[2];
    if (data.size() != 1 || data[0] < QLatin1Char('5') || data[0] > QLatin1Char('8'))
        throw refusal(settings, QStringLiteral("the data bits must be 5, 6, 7 or 8"));
    line.dataBits = static_cast<QSerialPort::DataBits>(data.toInt());

    const QString &stop = fields[3];
    if (stop == QLatin1String("1"))
        line.stopBits = QSerialPort::OneStop;
    else if (stop == QLatin1String("1.5"))
        line.stopBits = QSerialPort::OneAndHalfStop;
    else if (stop == QLatin1String("2"))
        line.stopBits = QSerialPort::TwoStop;
    else
        throw refusal(settings, QStringLiteral("the stop bits must be 1, 1.5 or 2"));
    return line;
}

qint64 LineSettings::msecsToSend(qint64 bytes) const
{
    const qint64 bits = 1 + dataBits + (parity == QSerialPort::NoParity ? 0 : 1) +
                        (stopBits == QSerialPort::OneStop ? 1 : 2);
    return (bytes * bits * 1000 + baudRate - 1) / baudRate;
}
