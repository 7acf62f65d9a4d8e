#include "plcreply.h"

#include "plcframe.h"

namespace plcsim
{

std::string replyFor(const std::string &command, const PlcOptions &options)
{
    std::string body =
        command.starts_with('@') ? answerFramed(command) : options.reply.value_or("OK " + command);
    // The check's last digit, just before "*", turned into another digit.
    if (options.badFcs && command.starts_with('@'))
        body[body.size() - 2] = body[body.size() - 2] == '0' ? '1' : '0';
    return body + (options.crlf ? "\r\n" : "\r");
}

} // namespace plcsim
