// The settings string against its grammar: four comma-separated fields, the baud rate in ASCII
// digits from 1 to 2^31 - 1, one parity letter N, E, O, M or S in either ASCII case, data bits
// 5 to 8, stop bits 1, 1.5 or 2; anything else refused.
#include "fuzzinput.h"
#include "linesettings.h"

#include <QRegularExpression>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static const QRegularExpression grammar(QRegularExpression::anchoredPattern(
        u"0*([1-9][0-9]{0,9}),([NEOMSneoms]),([5-8]),(1|1\\.5|2)"_qs));
    const QString settings = FuzzInput{data, size}.text();
    const QRegularExpressionMatch field = grammar.match(settings);
    const auto taken = outcome([&] {
        const LineSettings line = LineSettings::parse(settings);
        // QSerialPort's parity and stop bits codes index their letters and texts.
        return QStringList{QString::number(line.baudRate), QString(u"N?EOSM"[line.parity]),
                           QString::number(line.dataBits),
                           u",1,2,1.5"_qs.split(u',')[line.stopBits]};
    });
    // The fields as they should be taken: the baud rate without leading zeros, parity in upper
    // case.
    expectSame(taken,
               field.hasMatch() && field.captured(1).toLongLong() <= INT32_MAX
                   ? std::optional(QStringList{field.captured(1), field.captured(2).toUpper(),
                                               field.captured(3), field.captured(4)})
                   : std::nullopt,
               "settings string read by its grammar");
    return 0;
}
