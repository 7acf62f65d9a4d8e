// The wire bytes of a text: one byte per character equal to its code, or a refusal that names
// the first character without an 8-bit code (a surrogate pair as one character) and where it is.
#include "failure.h"
#include "fuzzinput.h"
#include "latin1.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzInput in(data, size);
    const QString text = in.text();
    qsizetype bad = 0;
    while (bad < text.size() && text[bad].unicode() <= 0xFF)
        ++bad;

    QByteArray bytes;
    try {
        bytes = toWireBytes(text, u"The text"_qs);
    } catch (const Failure &refusal) {
        expect(bad < text.size(), "only text without an 8-bit code is refused",
               [&] { return quoted(text); });
        const bool pair =
            text[bad].isHighSurrogate() && bad + 1 < text.size() && text[bad + 1].isLowSurrogate();
        const uint code = pair ? 0x10000 + ((text[bad].unicode() - 0xD800u) << 10) +
                                     text[bad + 1].unicode() - 0xDC00u
                               : text[bad].unicode();
        const QString named = QStringLiteral("'%1' (U+%2) at position %3")
                                  .arg(text.mid(bad, pair ? 2 : 1))
                                  .arg(QString::number(code, 16).toUpper().rightJustified(4, u'0'))
                                  .arg(bad + 1);
        expect(refusal.message().startsWith(u"The text"_qs) && refusal.message().contains(named),
               "a refusal names the first character without an 8-bit code",
               [&] { return quoted(text) + u": "_qs + quoted(refusal.message()); });
        return 0;
    }
    bool same = bad == text.size() && bytes.size() == text.size();
    for (qsizetype i = 0; same && i < bytes.size(); ++i)
        same = quint8(bytes[i]) == text[i].unicode();
    expect(same, "each byte is its character's code", [&] { return quoted(text); });
    return 0;
}
