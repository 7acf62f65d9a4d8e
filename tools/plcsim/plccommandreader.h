#pragma once

#include "plcincoming.h"

#include <optional>
#include <string>

namespace plcsim
{

// Cuts the byte stream from the tool into enquiries and CR-terminated commands.
class PlcCommandReader
{
public:
    std::optional<PlcIncoming> feed(char byte);

private:
    std::string pending_;
};

} // namespace plcsim
