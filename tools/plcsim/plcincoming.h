#pragma once

#include <cstddef>
#include <string>

namespace plcsim
{

// One complete thing the tool sent: the handshake enquiry, or a command without its CR; or the
// note that a command has grown too long and its further bytes are dropped up to the CR.
struct PlcIncoming {
    enum class Kind { Enquiry, Command, Overlong };
    Kind kind;
    std::string text;
    std::size_t dropped = 0; // bytes of the command left out of text
};

} // namespace plcsim
