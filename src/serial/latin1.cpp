#include "latin1.h"

#include "failure.h"

QByteArray toWireBytes(const QString &text, const QString &what, const QString &purpose)
{
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text.at(i).unicode() <= 0xFF)
            continue;
        // Name the whole character, even one written as a surrogate pair.
        const bool pair =
            text.at(i).isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate();
        const char32_t code =
            pair ? QChar::surrogateToUcs4(text.at(i), text.at(i + 1)) : text.at(i).unicode();
        throw Failure(QStringLiteral("%1 holds the character '%2' (U+%3) at position %4, which "
                                     "has no 8-bit code and cannot %5.")
                          .arg(what, text.mid(i, pair ? 2 : 1),
                               QString::number(code, 16).toUpper().rightJustified(4, u'0'))
                          .arg(i + 1)
                          .arg(purpose));
    }
    return text.toLatin1();
}
