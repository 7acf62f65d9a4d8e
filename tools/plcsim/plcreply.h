#pragma once

#include "plcoptions.h"

#include <string>

namespace plcsim
{

// Every byte the controller sends back for one command, terminator included.
std::string replyFor(const std::string &command, const PlcOptions &options);

} // namespace plcsim
