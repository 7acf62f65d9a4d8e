#include "escapeline.h"

QByteArray escapeLine(const QString &text)
{
    QByteArray line;
    line.reserve(text.size() + text.size() / 4);
    for (const QChar c : text) {
        const char16_t code = c.unicode();
        if (code == u'\\')
            line += "\\\\";
        else if (code == u'\r')
            line += "\\r";
        else if (code == u'\n')
            line += "\\n";
        else if (code == u'\t')
            line += "\\t";
        else if (code < 0x20 || (code >= 0x7F && code <= 0x9F))
            line += "\\x" + QByteArray::number(code, 16).toUpper().rightJustified(2, '0');
        else if (code < 0x80)
            line += static_cast<char>(code);
        else
            line += QString(c).toUtf8();
    }
    return line;
}
