#include "steadytickclock.h"

#include <chrono>

qint64 SteadyTickClock::ticks() const
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

QDateTime SteadyTickClock::wallClock() const
{
    return QDateTime::currentDateTime();
}
