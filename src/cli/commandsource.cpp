#include "commandsource.h"

#include <iostream>
#include <string>

CommandSource::CommandSource(QStringList arguments)
    : arguments_(std::move(arguments)), fromInput_(arguments_.isEmpty())
{
}

std::optional<QString> CommandSource::next()
{
    if (!fromInput_) {
        if (next_ == arguments_.size())
            return std::nullopt;
        return arguments_.at(next_++);
    }
    // One line per command, read only when the previous command is done, so a script can feed
    // commands as it goes. An empty line is an empty command, as in the window.
    std::string line;
    if (!std::getline(std::cin, line))
        return std::nullopt;
    if (!line.empty() && line.back() == '\r')
        line.pop_back();
    return QString::fromUtf8(line.data(), static_cast<qsizetype>(line.size()));
}
