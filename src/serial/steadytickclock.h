#pragma once

#include "tickclock.h"

// Milliseconds of the system's monotonic clock: never jumps with the wall clock.
class SteadyTickClock final : public TickClock
{
public:
    qint64 ticks() const override;
    QDateTime wallClock() const override;
};
