#pragma once

#include <string>
#include <string_view>

namespace plcsim
{

// Two upper-case hex digits of the exclusive-or of every byte of text.
std::string frameCheck(std::string_view text);

// The controller's answer (without terminator) to a command starting with "@":
// "@uuOK<text>ff*" when the frame is sound, otherwise the error frame "@uuERff*".
std::string answerFramed(std::string_view command);

} // namespace plcsim
