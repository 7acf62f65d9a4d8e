// computeFCS against the exclusive-or of the 8-bit codes, appendFCS against the frame layout:
// "@", the unit in upper-case hex of at least two digits, the command, the two-digit hex FCS
// of all before it, "*". Text without 8-bit codes, or empty text for computeFCS, is refused
// and the caller's command is left alone. frameCheckHolds accepts exactly the text that ends
// in such an FCS and "*" after at least one character.
#include "framing.h"
#include "fuzzinput.h"

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
    return text.isEmpty() ? std::nullopt : std::optional(x);
}

QString hex(int value)
{
    return QString::asprintf("%02X", unsigned(value));
}

bool endsInFcs(const QString &text)
{
    const auto fcs =
        text.size() >= 4 && text.endsWith(u'*') ? exclusiveOr(text.chopped(3)) : std::nullopt;
    return fcs && text.sliced(text.size() - 3, 2) == hex(*fcs);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzInput in{data, size};
    quint16 unit = quint16(in.byte() << 8);
    unit |= in.byte();
    const QString text = in.text();
    expectSame(outcome([&] { return int(computeFCS(text)); }), exclusiveOr(text),
               "computeFCS is the exclusive-or of the codes", text);

    const QString head = u'@' + hex(unit) + text;
    const std::optional<int> fcs = exclusiveOr(head);
    QString command = text;
    const auto frame = outcome([&] { return appendFCS(qint16(unit), command); });
    expectSame(frame, fcs ? std::optional(head + hex(*fcs) + u'*') : std::nullopt,
               "appendFCS builds the frame", QStringList{head, text});
    expectSame(command, frame.value_or(text), "appendFCS leaves the frame in the command", text);

    for (const QString &checked : {text, frame.value_or(text)})
        expectSame(frameCheckHolds(checked), endsInFcs(checked),
                   "frameCheckHolds checks the FCS before \"*\"", checked);
    return 0;
}
