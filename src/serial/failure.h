#pragma once

#include <QString>
#include <stdexcept>

// A failed operation on the serial line. Carries the text the operator is shown; nothing
// below the window catches it.
class Failure : public std::runtime_error
{
public:
    explicit Failure(const QString &message)
        : std::runtime_error(message.toStdString()), message_(message)
    {
    }
    const QString &message() const { return message_; }

private:
    QString message_;
};
