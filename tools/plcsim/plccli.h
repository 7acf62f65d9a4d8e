#pragma once

#include "plcoptions.h"

#include <optional>
#include <string>
#include <vector>

namespace plcsim
{

// What the command line asks of the simulator program.
struct PlcCommandLine {
    PlcOptions options;
    std::optional<std::string> link;
    bool help = false;
    bool version = false;
};

// Throws std::invalid_argument with a message fit for the user.
PlcCommandLine parseCommandLine(const std::vector<std::string> &arguments);

std::string helpText();

} // namespace plcsim
