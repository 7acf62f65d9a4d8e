#pragma once

#include "failure.h"

#include <QStringList>

#include <optional>

// Reads a fuzzer's bytes as the values a target needs; past the end every read gives 0.
struct FuzzInput {
    const uint8_t *data = nullptr;
    size_t size = 0;

    bool atEnd() const { return size == 0; }
    uint8_t byte() { return atEnd() ? 0 : (--size, *data++); }

    // Up to `length` characters (all the rest when negative), one byte each so that every
    // Latin-1 code is one mutation away; 0xFF takes the next two bytes as any UTF-16 unit.
    QString text(int length = -1)
    {
        QString s;
        for (; !atEnd() && length != 0; --length) {
            const uint8_t b = byte();
            s += QChar(b == 0xFF ? uint16_t(byte() << 8) | byte() : b);
        }
        return s;
    }
};

// What f returns, or nothing when it throws Failure.
template <typename F> auto outcome(F f) -> std::optional<decltype(f())>
try {
    return f();
} catch (const Failure &) {
    return std::nullopt;
}

// Stops the fuzzer when got is not expected; libFuzzer then saves the input to run again.
template <typename T> void expectSame(const T &got, const T &expected, const char *property)
{
    if (got != expected)
        qFatal("property broken: %s", property);
}
