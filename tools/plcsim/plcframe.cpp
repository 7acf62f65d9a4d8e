#include "plcframe.h"

#include <optional>

namespace plcsim
{

namespace
{

std::optional<int> hexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return std::nullopt;
}

std::optional<int> hexByte(std::string_view digits)
{
    const auto high = hexDigit(digits[0]);
    const auto low = hexDigit(digits[1]);
    if (!high || !low)
        return std::nullopt;
    return *high * 16 + *low;
}

std::string upperHex(int value)
{
    static constexpr char digits[] = "0123456789ABCDEF";
    return {digits[(value >> 4) & 0xF], digits[value & 0xF]};
}

std::string closeFrame(const std::string &text)
{
    return text + frameCheck(text) + "*";
}

} // namespace

std::string frameCheck(std::string_view text)
{
    unsigned char check = 0;
    for (const char c : text)
        check ^= static_cast<unsigned char>(c);
    return upperHex(check);
}

std::string answerFramed(std::string_view command)
{
    // "@", unit, check, "*" is the shortest sound frame.
    constexpr std::size_t shortest = 6;
    const auto unit = command.size() >= 3 ? hexByte(command.substr(1, 2)) : std::nullopt;
    const std::string head = "@" + upperHex(unit.value_or(0));
    if (unit && command.size() >= shortest && command.back() == '*') {
        const std::size_t checkAt = command.size() - 3;
        const auto check = hexByte(command.substr(checkAt, 2));
        if (check && upperHex(*check) == frameCheck(command.substr(0, checkAt)))
            return closeFrame(head + "OK" + std::string(command.substr(3, checkAt - 3)));
    }
    return closeFrame(head + "ER");
}

} // namespace plcsim
