#include "plcloglimiter.h"

#include <utility>

namespace plcsim
{

PlcLogLimiter::PlcLogLimiter(Out out, int perSecond) : out_(std::move(out)), perSecond_(perSecond)
{
}

PlcLogLimiter::~PlcLogLimiter()
{
    summarise();
}

void PlcLogLimiter::write(const std::string &line)
{
    const Clock::time_point now = Clock::now();
    if (now - secondStart_ >= std::chrono::seconds(1)) {
        summarise();
        secondStart_ = now;
        passed_ = 0;
    }
    if (passed_ < perSecond_) {
        ++passed_;
        out_(line);
    } else {
        ++held_;
    }
}

void PlcLogLimiter::summarise()
{
    if (held_ == 0)
        return;
    out_("... " + std::to_string(held_) + " more line(s) not shown (over " +
         std::to_string(perSecond_) + " a second)");
    held_ = 0;
}

} // namespace plcsim
