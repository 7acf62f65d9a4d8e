#include "latin1.h"

#include "failure.h"

QByteArray toWireBytes(const QString &text, const QString &what)
{
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c.unicode() > 0xFF) {
            throw Failure(
                QStringLiteral("%1 holds the character '%2' (U+%3) at position %4, "
                               "which has no 8-bit code and cannot go on the serial line.")
                    .arg(what, QString(c))
                    .arg(c.unicode(), 4, 16, QLatin1Char('0'))
                    .arg(i + 1));
        }
    }
    return text.toLatin1();
}
