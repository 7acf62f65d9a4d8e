#include "bytenotation.h"

#include <QHash>

#include <array>

namespace ByteNotation
{
namespace
{

// The names of ISO 6429 and Unicode, so a reader finds them in any code chart.
constexpr std::array<const char *, 32> kC0{"NUL", "SOH", "STX", "ETX", "EOT", "ENQ", "ACK", "BEL",
                                           "BS",  "HT",  "LF",  "VT",  "FF",  "CR",  "SO",  "SI",
                                           "DLE", "DC1", "DC2", "DC3", "DC4", "NAK", "SYN", "ETB",
                                           "CAN", "EM",  "SUB", "ESC", "FS",  "GS",  "RS",  "US"};
constexpr std::array<const char *, 32> kC1{"PAD", "HOP", "BPH", "NBH", "IND", "NEL", "SSA", "ESA",
                                           "HTS", "HTJ", "VTS", "PLD", "PLU", "RI",  "SS2", "SS3",
                                           "DCS", "PU1", "PU2", "STS", "CCH", "MW",  "SPA", "EPA",
                                           "SOS", "SGC", "SCI", "CSI", "ST",  "OSC", "PM",  "APC"};

const char *nameOf(char16_t code)
{
    if (code < 0x20)
        return kC0[code];
    if (code == 0x7F)
        return "DEL";
    if (code >= 0x80 && code < 0xA0)
        return kC1[code - 0x80];
    if (code == 0xA0)
        return "NBSP";
    if (code == 0xAD)
        return "SHY";
    return nullptr;
}

// A name of up to four ASCII letters and digits packed into one number, for the reverse lookup.
constexpr qsizetype kLongestName = 4;

quint32 key(QStringView name)
{
    quint32 packed = 0;
    for (QChar c : name)
        packed = packed << 8 | (c.unicode() & 0xFF);
    return name.size() <= kLongestName ? packed : 0;
}

struct Tags {
    std::array<QString, 256> text;
    const QString none;
    QHash<quint32, char16_t> codes;
    Tags()
    {
        for (char16_t code = 0; code < 256; ++code) {
            if (const char *name = nameOf(code)) {
                text[code] = kOpen + QLatin1String(name) + kClose;
                codes.insert(key(QString::fromLatin1(name)), code);
            }
        }
    }
};

const Tags &tags()
{
    static const Tags all;
    return all;
}

} // namespace

const QString &tagFor(QChar c)
{
    return c.unicode() < 256 ? tags().text[c.unicode()] : tags().none;
}

QString tagged(QStringView text)
{
    QString shown;
    shown.reserve(text.size());
    for (QChar c : text) {
        const QString &tag = tagFor(c);
        if (tag.isEmpty())
            shown.append(c);
        else
            shown.append(tag);
    }
    return shown;
}

QString original(QStringView shownText)
{
    const Tags &all = tags();
    QString text(shownText.size(), Qt::Uninitialized);
    QChar *out = text.data();
    const QChar *at = shownText.data();
    const QChar *const end = at + shownText.size();
    while (at < end) {
        if (*at == kOpen) {
            // A quote left over from an edited tag stays as it is, and does not swallow the
            // tag after it.
            const QChar *close = at + 1;
            while (close < end && close - at <= kLongestName && *close != kClose && *close != kOpen)
                ++close;
            if (close < end && *close == kClose) {
                const auto found = all.codes.constFind(key(QStringView(at + 1, close)));
                if (found != all.codes.cend()) {
                    *out++ = QChar(*found);
                    at = close + 1;
                    continue;
                }
            }
        }
        *out++ = *at++;
    }
    text.truncate(out - text.data());
    return text;
}

} // namespace ByteNotation
