#pragma once

#include "tickclock.h"

// Milliseconds of the system's monotonic clock: never jumps with the wall clock.
class SteadyTickClock final : public TickClock
{
public:
    qint64 ticks() const override;
    QDateTime wallClock() const override;

private:
    // The local offset from UTC, and when it was looked up (milliseconds since the epoch).
    mutable int offset_ = 0;
    mutable qint64 offsetTakenAt_ = -1;
};
