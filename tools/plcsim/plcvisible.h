#pragma once

#include <string>
#include <string_view>

namespace plcsim
{

// Bytes as a log line: control characters by their ASCII names ("<ENQ>", "<CR>"), bytes from
// 0x7F up as "<xNN>", the rest as they are.
std::string visible(std::string_view bytes);

// visible() of at most the first 80 bytes, followed by how many there are in all when there
// are more: a log line stays short whatever arrives.
std::string visibleStart(std::string_view bytes);

} // namespace plcsim
