#pragma once

#include <string>
#include <vector>

namespace plcsim
{

// Splits bytes into at most count pieces whose sizes differ by one at most; never returns an
// empty piece unless bytes itself is empty.
std::vector<std::string> splitEvenly(const std::string &bytes, int count);

} // namespace plcsim
