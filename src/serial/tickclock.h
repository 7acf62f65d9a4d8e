#pragma once

#include <QDateTime>
#include <QtGlobal>

// The millisecond counter that deadlines are measured on, and the wall clock that an exchange's
// record is stamped with. The counter is 64 bits wide, so a deadline computed from any reading
// plus any 32-bit timeout never overflows.
class TickClock
{
public:
    virtual ~TickClock() = default;
    virtual qint64 ticks() const = 0;
    // Local time, to the millisecond.
    virtual QDateTime wallClock() const = 0;
};
