// The wire bytes of a text: one byte per character equal to its code, or, when a character has
// no 8-bit code, a refusal that names the first such character (a surrogate pair as one) by its
// code point and where it is.
#include "fuzzinput.h"
#include "latin1.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString text = FuzzInput{data, size}.text();
    QString got;
    try {
        got = QString::fromLatin1(toWireBytes(text, u"The text"_qs));
    } catch (const Failure &failure) {
        got = failure.message();
    }
    const qsizetype bad =
        std::find_if(text.begin(), text.end(), [](QChar c) { return c.unicode() > 0xFF; }) -
        text.begin();
    // Two NULs after the text let a character at the end be looked at as a pair's first half.
    const QString rest = text.mid(bad) + QString(2, QChar());
    const bool pair = rest[0].isHighSurrogate() && rest[1].isLowSurrogate();
    const QString named =
        u'\'' + rest.left(pair ? 2 : 1) +
        QString::asprintf("' (U+%04X) at position %lld",
                          uint(pair ? QChar::surrogateToUcs4(rest[0], rest[1]) : rest[0].unicode()),
                          qint64(bad) + 1);
    expectSame(bad == text.size() ? got == text
                                  : got.startsWith(u"The text") && got.contains(named),
               true, "the bytes are the codes, or a refusal names the first character without one");
    return 0;
}
