#pragma once

#include <chrono>
#include <functional>
#include <string>

namespace plcsim
{

// Passes log lines on, at most perSecond of them in any one second; the lines held back are
// summed up in one line when the next line passes, or at the end. A flood of input then
// costs the log a few kilobytes a second instead of several times its own size.
class PlcLogLimiter
{
public:
    using Out = std::function<void(const std::string &line)>;
    using Clock = std::chrono::steady_clock;

    explicit PlcLogLimiter(Out out, int perSecond = 50);
    ~PlcLogLimiter();
    PlcLogLimiter(const PlcLogLimiter &) = delete;
    PlcLogLimiter &operator=(const PlcLogLimiter &) = delete;

    void write(const std::string &line);

private:
    void summarise();

    const Out out_;
    const int perSecond_;
    Clock::time_point secondStart_ = Clock::now();
    int passed_ = 0;
    long long held_ = 0;
};

} // namespace plcsim
