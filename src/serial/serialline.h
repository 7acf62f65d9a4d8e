#pragma once

#include <QString>

// What the command exchange needs of a port: hand characters over, take what has arrived,
// sleep until more arrives, and say which line it is. Failures are thrown as Failure.
class SerialLine
{
public:
    virtual ~SerialLine() = default;

    // Hands every character to the operating system before returning, one byte each.
    virtual void setOutput(const QString &text) = 0;

    // Every character received and not yet taken; empty when nothing is waiting. Never waits.
    virtual QString Input() = 0;

    // Blocks until input is waiting or msecs have passed, whichever comes first.
    virtual void waitForInput(qint64 msecs) = 0;

    // The port as the operator knows it and the device behind it, e.g. "COM1 (/dev/ttyS0)".
    virtual QString portDescription() const = 0;

    // The settings string the line runs with, e.g. "9600,N,8,1".
    virtual QString Settings() const = 0;

    // How many bytes came while no command waited and were dropped, since the last call: only
    // the newest few are kept for the next command, so a controller that streams cannot fill
    // the memory.
    virtual qint64 takeDroppedInput() = 0;
};
