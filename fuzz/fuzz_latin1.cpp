// The wire bytes of a text: one byte per character equal to its code, or a refusal that names
// the first character without an 8-bit code (a surrogate pair as one character) and where it is.
#include "fuzzinput.h"
#include "latin1.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString text = FuzzInput{data, size}.text();
    QByteArray codes;
    qsizetype bad = 0;
    for (; bad < text.size() && text[bad].unicode() <= 0xFF; ++bad)
        codes += char(text[bad].unicode());

    QString named;
    if (bad < text.size()) {
        const char16_t high = text[bad].unicode();
        const char16_t low = bad + 1 < text.size() ? text[bad + 1].unicode() : 0;
        const bool pair = high >= 0xD800 && high < 0xDC00 && low >= 0xDC00 && low < 0xE000;
        const uint code = pair ? 0x10000 + (high - 0xD800) * 0x400 + (low - 0xDC00) : high;
        named = u'\'' + text.mid(bad, pair ? 2 : 1) +
                QString::asprintf("' (U+%04X) at position %lld", code, qint64(bad) + 1);
    }
    QByteArray bytes;
    QString refusal;
    try {
        bytes = toWireBytes(text, u"The text"_qs);
    } catch (const Failure &failure) {
        refusal = failure.message();
    }
    expectSame(bytes, named.isEmpty() ? codes : QByteArray(), "each byte is its character's code",
               text);
    expectSame(refusal.startsWith(u"The text") && refusal.contains(named), !named.isEmpty(),
               "a refusal names the first character without an 8-bit code",
               QStringList{text, refusal});
    return 0;
}
