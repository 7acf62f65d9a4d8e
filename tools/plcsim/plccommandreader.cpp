#include "plccommandreader.h"

#include <utility>

namespace plcsim
{

std::optional<PlcIncoming> PlcCommandReader::feed(char byte)
{
    // Only an ENQ between commands is the handshake; inside command text it is just a byte.
    if (byte == '\x05' && pending_.empty())
        return PlcIncoming{PlcIncoming::Kind::Enquiry, {}};
    if (byte == '\r')
        return PlcIncoming{PlcIncoming::Kind::Command, std::exchange(pending_, {}),
                           std::exchange(dropped_, 0)};
    if (pending_.size() < maxCommand) {
        pending_ += byte;
        return std::nullopt;
    }
    if (dropped_++ == 0)
        return PlcIncoming{PlcIncoming::Kind::Overlong, {}};
    return std::nullopt;
}

} // namespace plcsim
