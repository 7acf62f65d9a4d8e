// computeFCS against the exclusive-or of the 8-bit codes, appendFCS against the frame layout:
// "@", the unit in upper-case hex of at least two digits, the command, the two-digit hex FCS
// of all before it, "*". Text without 8-bit codes, or empty text for computeFCS, is refused
// and the caller's command is left alone. frameCheckHolds accepts exactly the text that ends
// in such an FCS and "*" after at least one character.
#include "framing.h"
#include "fuzzinput.h"

#include <optional>

namespace
{

std::optional<int> exclusiveOr(const QString &text)
{
    int x = 0;
    for (QChar c : text) {
        if (c.unicode() > 0xFF)
            return std::nullopt;
        x ^= c.unicode();
    }
    return text.isEmpty() ? std::nullopt : std::optional<int>(x);
}

QString hexAtLeastTwo(quint16 value)
{
    QString digits;
    do {
        digits.prepend(QChar("0123456789ABCDEF"[value % 16]));
        value /= 16;
    } while (value != 0);
    return digits.size() < 2 ? u'0' + digits : digits;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzInput in(data, size);
    const qint16 unit = qint16(in.byte() << 8 | in.byte());
    const QString text = in.text();

    const std::optional<int> tail =
        text.size() >= 4 && text.endsWith(u'*') ? exclusiveOr(text.chopped(3)) : std::nullopt;
    expect(frameCheckHolds(text) == (tail && text.mid(text.size() - 3, 2) == hexAtLeastTwo(*tail)),
           "frameCheckHolds checks the FCS before the \"*\"", [&] { return quoted(text); });

    const std::optional<int> fcs = outcome([&] { return int(computeFCS(text)); });
    expect(fcs == exclusiveOr(text), "computeFCS is the exclusive-or of the codes",
           [&] { return quoted(text); });

    const QString head = u'@' + hexAtLeastTwo(quint16(unit)) + text;
    const std::optional<int> check = exclusiveOr(head);
    const QString frame = check ? head + hexAtLeastTwo(quint16(*check)) + u'*' : QString();
    QString command = text;
    const std::optional<QString> returned = outcome([&] { return appendFCS(unit, command); });
    if (!returned) {
        expect(!check && command == text, "appendFCS refuses only text without 8-bit codes",
               [&] { return quoted(text); });
        return 0;
    }
    expect(check && *returned == frame && command == frame && frameCheckHolds(frame),
           "appendFCS builds the frame", [&] {
               return QStringLiteral("unit %1, %2 gave %3")
                   .arg(unit)
                   .arg(quoted(text), quoted(*returned));
           });
    return 0;
}
