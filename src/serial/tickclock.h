#pragma once

#include <QtGlobal>

// The millisecond counter that deadlines are measured on. 64 bits wide, so a deadline
// computed from any reading plus any 32-bit timeout never overflows.
class TickClock
{
public:
    virtual ~TickClock() = default;
    virtual qint64 ticks() const = 0;
};
