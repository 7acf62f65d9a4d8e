// computeFCS against the exclusive-or of the 8-bit codes, appendFCS against the frame layout:
// "@", the unit in upper-case hex of at least two digits, the command, the two-digit hex FCS
// of all before it, "*". Text without 8-bit codes, or empty text for computeFCS, is refused
// and the caller's command is left alone. frameCheckHolds accepts exactly the texts that end
// in the FCS of all before it and "*".
#include "framing.h"
#include "fuzzinput.h"

// head followed by the two-digit exclusive-or of all its codes and "*"; nothing for empty text or
// text without 8-bit codes.
static std::optional<QString> framed(const QString &head)
{
    int fcs = 0;
    for (QChar c : head)
        fcs ^= c.unicode();
    if (head.isEmpty() || QString::fromLatin1(head.toLatin1()) != head)
        return std::nullopt;
    return head + QString::asprintf("%02X*", fcs);
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzInput in{data, size};
    const quint16 unit = in.byte() | in.byte() << 8;
    const QString text = in.text();
    expectSame(outcome([&] { return text + QString::asprintf("%02X*", computeFCS(text)); }),
               framed(text), "computeFCS is the exclusive-or of the codes");
    // The frame is both returned and left in the command; a refused command is left alone.
    QString command = text;
    const auto frame = outcome([&] { return appendFCS(qint16(unit), command); });
    expectSame(frame, framed(u'@' + QString::asprintf("%02X", unit) + text),
               "appendFCS builds the frame");
    expectSame(command, frame.value_or(text), "appendFCS leaves the frame in the command");
    // vantrel-send's reply check: less its last three characters, left() gives all of a
    // shorter text, which is never framed.
    for (const QString &checked : {text, frame.value_or(text)})
        expectSame(frameCheckHolds(checked), framed(checked.left(checked.size() - 3)) == checked,
                   "frameCheckHolds checks the FCS before \"*\"");
    return 0;
}
