// The settings string against its grammar: four comma-separated fields, the baud rate in ASCII
// digits from 1 to 2^31 - 1, one parity letter N, E, O, M or S in either ASCII case, data bits
// 5 to 8, stop bits 1, 1.5 or 2; anything else refused.
#include "fuzzinput.h"
#include "linesettings.h"

#include <QRegularExpression>

namespace
{

// Baud rate, parity, data bits and stop bits as numbers.
std::optional<QList<int>> strictReading(const QString &settings)
{
    static const QRegularExpression grammar(QRegularExpression::anchoredPattern(
        u"0*([1-9][0-9]{0,9}),([NEOMSneoms]),([5-8]),(1|1\\.5|2)"_qs));
    const QRegularExpressionMatch field = grammar.match(settings);
    if (!field.hasMatch() || field.captured(1).toLongLong() > INT32_MAX)
        return std::nullopt;
    const QSerialPort::Parity parity[] = {QSerialPort::NoParity, QSerialPort::EvenParity,
                                          QSerialPort::OddParity, QSerialPort::MarkParity,
                                          QSerialPort::SpaceParity};
    return QList<int>{
        field.captured(1).toInt(), parity[u"NEOMS"_qs.indexOf(field.captured(2).toUpper())],
        field.captured(3).toInt(),
        field.captured(4) == u"1.5" ? QSerialPort::OneAndHalfStop : field.captured(4).toInt()};
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString settings = FuzzInput{data, size}.text();
    const auto taken = outcome([&] {
        const LineSettings line = LineSettings::parse(settings);
        return QList<int>{line.baudRate, line.parity, line.dataBits, line.stopBits};
    });
    expectSame(taken, strictReading(settings), "settings string read by its grammar", settings);
    return 0;
}
