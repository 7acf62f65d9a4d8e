#include "commandsource.h"

#include "failure.h"

#include <QStringDecoder>

#include <algorithm>
#include <iostream>
#include <string>

namespace
{

// `where` names the command for the operator: "Command 2", "Line 3 of standard input".
void refuseLineEnds(const QString &command, const QString &where)
{
    const auto end = std::find_if(command.begin(), command.end(),
                                  [](QChar c) { return c == u'\r' || c == u'\n'; });
    if (end == command.end())
        return;
    const QString what = *end == u'\r' ? QStringLiteral("a CR") : QStringLiteral("an LF");
    throw Failure(QStringLiteral("%1 holds %2 at position %3: the controller would take the rest "
                                 "for another command. Give each command on its own: one "
                                 "argument, or one line ended by LF (or CR LF).")
                      .arg(where, what)
                      .arg(end - command.begin() + 1));
}

} // namespace

CommandSource::CommandSource(QStringList arguments)
    : arguments_(std::move(arguments)), fromInput_(arguments_.isEmpty())
{
    for (qsizetype i = 0; i < arguments_.size(); ++i)
        refuseLineEnds(arguments_.at(i), QStringLiteral("Command %1").arg(i + 1));
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
    ++lineNumber_;
    if (!line.empty() && line.back() == '\r')
        line.pop_back();
    const QString where = QStringLiteral("Line %1 of standard input").arg(lineNumber_);
    QStringDecoder utf8(QStringDecoder::Utf8);
    QString command = utf8(QByteArrayView(line.data(), static_cast<qsizetype>(line.size())));
    if (utf8.hasError())
        throw Failure(where + QStringLiteral(" is not UTF-8: commands are read as UTF-8 text, "
                                             "and sent as one byte per character."));
    refuseLineEnds(command, where);
    return command;
}
