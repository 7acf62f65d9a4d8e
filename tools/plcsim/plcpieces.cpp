#include "plcpieces.h"

#include <algorithm>

namespace plcsim
{

std::vector<std::string> splitEvenly(const std::string &bytes, int count)
{
    const std::size_t pieces =
        std::clamp<std::size_t>(count, 1, std::max<std::size_t>(bytes.size(), 1));
    const std::size_t base = bytes.size() / pieces;
    const std::size_t longer = bytes.size() % pieces;
    std::vector<std::string> result;
    std::size_t at = 0;
    for (std::size_t i = 0; i < pieces; ++i) {
        const std::size_t size = base + (i < longer ? 1 : 0);
        result.push_back(bytes.substr(at, size));
        at += size;
    }
    return result;
}

} // namespace plcsim
