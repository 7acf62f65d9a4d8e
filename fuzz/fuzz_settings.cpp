// The settings string against its grammar: four comma-separated fields, the baud rate in ASCII
// digits above 0 within 32 bits, one parity letter N, E, O, M or S in either ASCII case, data
// bits 5 to 8, stop bits 1, 1.5 or 2; anything else refused.
#include "fuzzinput.h"
#include "linesettings.h"

#include <QStringList>

#include <optional>

namespace
{

std::optional<LineSettings> strictReading(const QString &settings)
{
    const QStringList field = settings.split(u',');
    if (field.size() != 4 || field[0].isEmpty())
        return std::nullopt;
    LineSettings line;
    qint64 baud = 0;
    for (QChar c : field[0]) {
        if (c < u'0' || c > u'9')
            return std::nullopt;
        baud = std::min<qint64>(baud * 10 + (c.unicode() - u'0'), qint64(1) << 40);
    }
    if (baud < 1 || baud > INT32_MAX)
        return std::nullopt;
    line.baudRate = qint32(baud);

    const QString letters = QStringLiteral("NEOMSneoms");
    const QSerialPort::Parity parities[] = {QSerialPort::NoParity, QSerialPort::EvenParity,
                                            QSerialPort::OddParity, QSerialPort::MarkParity,
                                            QSerialPort::SpaceParity};
    const qsizetype letter = field[1].size() == 1 ? letters.indexOf(field[1][0]) : -1;
    if (letter < 0)
        return std::nullopt;
    line.parity = parities[letter % 5];

    const QStringList data = {u"5"_qs, u"6"_qs, u"7"_qs, u"8"_qs};
    if (!data.contains(field[2]))
        return std::nullopt;
    line.dataBits = QSerialPort::DataBits(5 + data.indexOf(field[2]));

    const QStringList stop = {u"1"_qs, u"1.5"_qs, u"2"_qs};
    const QSerialPort::StopBits stops[] = {QSerialPort::OneStop, QSerialPort::OneAndHalfStop,
                                           QSerialPort::TwoStop};
    if (!stop.contains(field[3]))
        return std::nullopt;
    line.stopBits = stops[stop.indexOf(field[3])];
    return line;
}

QString shown(const std::optional<LineSettings> &line)
{
    return line ? QStringLiteral("%1,%2,%3,%4")
                      .arg(line->baudRate)
                      .arg(line->parity)
                      .arg(line->dataBits)
                      .arg(line->stopBits)
                : QStringLiteral("refusal");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzInput in(data, size);
    const QString settings = in.text();
    const std::optional<LineSettings> taken =
        outcome([&] { return LineSettings::parse(settings); });
    const std::optional<LineSettings> strict = strictReading(settings);
    expect(shown(taken) == shown(strict), "settings string read by its grammar", [&] {
        return quoted(settings) +
               QStringLiteral(" read as %1, expected %2").arg(shown(taken), shown(strict));
    });
    return 0;
}
