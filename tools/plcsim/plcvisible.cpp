#include "plcvisible.h"

#include <cstdio>

namespace plcsim
{

std::string visible(std::string_view bytes)
{
    static constexpr const char *names[32] = {
        "NUL", "SOH", "STX", "ETX", "EOT", "ENQ", "ACK", "BEL", "BS",  "HT",  "LF",
        "VT",  "FF",  "CR",  "SO",  "SI",  "DLE", "DC1", "DC2", "DC3", "DC4", "NAK",
        "SYN", "ETB", "CAN", "EM",  "SUB", "ESC", "FS",  "GS",  "RS",  "US"};
    std::string text;
    for (const char c : bytes) {
        const auto code = static_cast<unsigned char>(c);
        if (code < 32) {
            text += std::string("<") + names[code] + ">";
        } else if (code >= 0x7F) {
            char hex[8];
            std::snprintf(hex, sizeof hex, "<x%02X>", code);
            text += hex;
        } else {
            text += c;
        }
    }
    return text;
}

std::string visibleStart(std::string_view bytes)
{
    constexpr std::size_t shown = 80;
    if (bytes.size() <= shown)
        return visible(bytes);
    return visible(bytes.substr(0, shown)) + "... (" + std::to_string(bytes.size()) +
           " bytes in all)";
}

} // namespace plcsim
