#pragma once

#include <QString>
#include <stdexcept>

// What the operator can do about a failure. The serial line states what went wrong; how to put
// it right depends on the front end that shows it (frontendadvice.h words it for each).
enum class Remedy {
    None,
    // The timeout text is not a number: type another.
    EnterTimeout,
    // The device went away: check the connection and open the port again.
    Reconnect,
};

// A failed operation on the serial line. Carries what went wrong, as the operator is told it;
// nothing below the window catches it.
class Failure : public std::runtime_error
{
public:
    explicit Failure(const QString &message, Remedy remedy = Remedy::None)
        : std::runtime_error(message.toStdString()), message_(message), remedy_(remedy)
    {
    }
    const QString &message() const { return message_; }
    Remedy remedy() const { return remedy_; }

private:
    QString message_;
    Remedy remedy_;
};
