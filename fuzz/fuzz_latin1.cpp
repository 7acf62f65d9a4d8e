// The wire bytes of a text: one byte per character equal to its code, or a refusal that names
// the first character without an 8-bit code (a surrogate pair as one character) and where it is.
#include "fuzzinput.h"
#include "latin1.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString text = FuzzInput{data, size}.text();
    qsizetype bad = 0;
    while (bad < text.size() && text[bad].unicode() <= 0xFF)
        ++bad;
    QString named;
    if (bad < text.size()) {
        const QChar high = text[bad], low = bad + 1 < text.size() ? text[bad + 1] : QChar();
        const bool pair = high.isHighSurrogate() && low.isLowSurrogate();
        named = u'\'' + text.mid(bad, pair ? 2 : 1) +
                QString::asprintf("' (U+%04X) at position %lld",
                                  uint(pair ? QChar::surrogateToUcs4(high, low) : high.unicode()),
                                  qint64(bad) + 1);
    }
    QString got;
    try {
        got = QString::fromLatin1(toWireBytes(text, u"The text"_qs));
    } catch (const Failure &failure) {
        got = failure.message();
    }
    // Either the codes themselves, or a refusal about "The text" naming the character.
    if (named.isEmpty())
        expectSame(got, text, "each byte is its character's code");
    else
        expectSame(got.startsWith(u"The text") && got.contains(named), true,
                   "a refusal names the first character without an 8-bit code");
    return 0;
}
