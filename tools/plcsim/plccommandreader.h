#pragma once

#include "plcincoming.h"

#include <optional>
#include <string>

namespace plcsim
{

// Cuts the byte stream from the tool into enquiries and CR-terminated commands. A command
// keeps its first maxCommand bytes; the rest, up to its CR, is counted and dropped, so a line
// that never ends cannot take all memory.
class PlcCommandReader
{
public:
    static constexpr std::size_t maxCommand = 64 * 1024;

    std::optional<PlcIncoming> feed(char byte);

private:
    std::string pending_;
    std::size_t dropped_ = 0;
};

} // namespace plcsim
