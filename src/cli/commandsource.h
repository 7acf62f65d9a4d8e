#pragma once

#include <QString>
#include <QStringList>

#include <optional>

// Where the commands come from: the arguments, all known from the start, or, when there are
// none, standard input, one line at a time as it arrives. A command that holds CR or LF is
// refused: the controller would take the rest for another command, sent without the handshake.
class CommandSource
{
public:
    // Throws Failure for an argument that holds CR or LF.
    explicit CommandSource(QStringList arguments);

    // The next command, or nothing at the end. Throws Failure for an input line that is not
    // UTF-8 or holds a CR (other than one before its LF).
    std::optional<QString> next();

    // The commands known before the first is sent: all of them for arguments, none for input.
    const QStringList &known() const { return arguments_; }

private:
    QStringList arguments_;
    bool fromInput_;
    qsizetype next_ = 0;
    int lineNumber_ = 0;
};
