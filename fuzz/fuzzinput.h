#pragma once

#include "failure.h"

#include <QDebug>

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
            char16_t c = byte();
            if (c == 0xFF) {
                c = char16_t(byte() << 8);
                c |= byte();
            }
            s += QChar(c);
        }
        return s;
    }
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

// A value as QDebug writes it: strings quoted, characters outside printable ASCII escaped.
template <typename T> QString shown(const T &value)
{
    QString s;
    QDebug(&s).nospace() << value;
    return s;
}

template <typename T> QString shown(const std::optional<T> &value)
{
    return value ? shown(*value) : QStringLiteral("refused");
}

// Stops the fuzzer when got is not expected, printing the input and both. They are shown only
// then: showing every input would cost more than checking it.
template <typename T, typename Input>
void expectSame(const T &got, const T &expected, const char *property, const Input &input)
{
    if (got != expected)
        qFatal("property broken: %s\ninput    %s\ngot      %s\nexpected %s", property,
               qPrintable(shown(input)), qPrintable(shown(got)), qPrintable(shown(expected)));
}
