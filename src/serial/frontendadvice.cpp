#include "frontendadvice.h"

#include "failure.h"

namespace
{

struct Advice {
    Remedy remedy;
    const char *window;
    const char *commandLine;
};

// Every front-end word of advice, side by side, so a new remedy is worded for both at once.
constexpr Advice kAdvice[] = {
    {Remedy::EnterTimeout, "Enter one such as 500 while the port is closed.",
     "Give one such as -t 500."},
    {Remedy::Reconnect, "Close the port, check the connection and open it again.",
     "Check the connection and run the command again."},
};

} // namespace

QString shownText(const Failure &failure, FrontEnd frontEnd)
{
    for (const Advice &advice : kAdvice)
        if (advice.remedy == failure.remedy())
            return failure.message() + u' ' +
                   QString::fromUtf8(frontEnd == FrontEnd::Window ? advice.window
                                                                  : advice.commandLine);
    return failure.message();
}
