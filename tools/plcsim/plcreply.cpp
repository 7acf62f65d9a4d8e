#include "plcreply.h"

#include "plcframe.h"

namespace plcsim
{

std::string replyFor(const std::string &command, const PlcOptions &options)
{
    const std::string body =
        command.starts_with('@') ? answerFramed(command) : options.reply.value_or("OK " + command);
    return body + (options.crlf ? "\r\n" : "\r");
}

} // namespace plcsim
