#pragma once

#include "failure.h"

#include <QString>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>

// Reads a fuzzer's bytes as the values a target needs; past the end every read gives 0.
class FuzzInput
{
public:
    FuzzInput(const uint8_t *data, size_t size) : data_(data), size_(size) {}

    bool atEnd() const { return pos_ >= size_; }
    uint8_t byte() { return atEnd() ? 0 : data_[pos_++]; }

    // One character per byte, so every Latin-1 code is one mutation away; 0xFF starts an
    // escape whose next two bytes are any UTF-16 unit (surrogates and 0xFF itself included).
    QChar character()
    {
        const uint8_t b = byte();
        if (b != 0xFF)
            return QChar(char16_t(b));
        const uint8_t high = byte();
        return QChar(char16_t(high << 8 | byte()));
    }

    // Up to `length` characters (all the rest when negative).
    QString text(int length = -1)
    {
        QString s;
        while (!atEnd() && length-- != 0)
            s += character();
        return s;
    }

    // Up to `length` bytes as Latin-1 characters, no escapes.
    QString latin1(int length)
    {
        QString s;
        while (!atEnd() && length-- != 0)
            s += QChar(char16_t(byte()));
        return s;
    }

private:
    const uint8_t *data_;
    size_t size_;
    size_t pos_ = 0;
};

// What f returns, or nothing when it throws Failure.
template <typename F> auto outcome(F f) -> std::optional<decltype(f())>
{
    try {
        return f();
    } catch (const Failure &) {
        return std::nullopt;
    }
}

// text in quotes with every character outside printable ASCII escaped, for failure reports.
inline QString quoted(const QString &text)
{
    QString out = QStringLiteral("\"");
    for (QChar c : text)
        out += c.unicode() >= 0x20 && c.unicode() < 0x7F
                   ? QString(c)
                   : QStringLiteral("\\u%1").arg(c.unicode(), 4, 16, QLatin1Char('0'));
    return out + QLatin1Char('"');
}

// Stops the fuzzer when a property fails, printing what `detail` tells of the input; detail is
// only called then, as describing every input would cost more than checking it.
template <typename Detail> void expect(bool holds, const char *property, Detail detail)
{
    if (holds)
        return;
    std::fprintf(stderr, "property broken: %s\n%s\n", property, qPrintable(QString(detail())));
    std::abort();
}
