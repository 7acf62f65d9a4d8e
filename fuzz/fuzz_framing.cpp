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

// head followed by the two-digit FCS of all its codes and "*".
std::optional<QString> framed(const QString &head)
{
    const std::optional<int> fcs = exclusiveOr(head);
    return fcs ? std::optional(head + QString::asprintf("%02X*", *fcs)) : std::nullopt;
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

    QString command = text;
    const auto frame = outcome([&] { return appendFCS(qint16(unit), command); });
    expectSame(frame, framed(u'@' + QString::asprintf("%02X", unit) + text),
               "appendFCS builds the frame", text);
    expectSame(command, frame.value_or(text), "appendFCS leaves the frame in the command", text);

    // Less its last three characters; left() gives all of a shorter text, never framed.
    for (const QString &checked : {text, frame.value_or(text)})
        expectSame(frameCheckHolds(checked), framed(checked.left(checked.size() - 3)) == checked,
                   "frameCheckHolds checks the FCS before \"*\"", checked);
    return 0;
}
