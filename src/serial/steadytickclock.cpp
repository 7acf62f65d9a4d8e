#include "steadytickclock.h"

#include <chrono>

namespace
{
// Looking the local offset up costs more than the rest of an exchange's record; once a minute
// follows a change to or from daylight saving time closely enough for a log.
constexpr qint64 kOffsetKeptMsecs = 60000;
} // namespace

qint64 SteadyTickClock::ticks() const
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

QDateTime SteadyTickClock::wallClock() const
{
    const QDateTime utc = QDateTime::currentDateTimeUtc();
    const qint64 now = utc.toMSecsSinceEpoch();
    if (offsetTakenAt_ < 0 || now - offsetTakenAt_ >= kOffsetKeptMsecs || now < offsetTakenAt_) {
        offset_ = utc.toLocalTime().offsetFromUtc();
        offsetTakenAt_ = now;
    }
    return utc.toOffsetFromUtc(offset_);
}
