#pragma once

#include <QString>
#include <QStringList>

#include <optional>

// Where the commands come from: the arguments, all known from the start, or, when there are
// none, standard input, one line at a time as it arrives.
class CommandSource
{
public:
    explicit CommandSource(QStringList arguments);

    // The next command, or nothing at the end.
    std::optional<QString> next();

    // The commands known before the first is sent: all of them for arguments, none for input.
    const QStringList &known() const { return arguments_; }

private:
    QStringList arguments_;
    bool fromInput_;
    qsizetype next_ = 0;
};
