#pragma once

#include <string>

namespace plcsim
{

// One complete thing the tool sent: the handshake enquiry, or a command without its CR.
struct PlcIncoming {
    enum class Kind { Enquiry, Command };
    Kind kind;
    std::string text;
};

} // namespace plcsim
