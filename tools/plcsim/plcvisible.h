#pragma once

#include <string>
#include <string_view>

namespace plcsim
{

// Bytes as a log line: control characters by their ASCII names ("<ENQ>", "<CR>"), bytes from
// 0x7F up as "<xNN>", the rest as they are.
std::string visible(std::string_view bytes);

} // namespace plcsim
