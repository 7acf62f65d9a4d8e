#pragma once

#include <QString>

// What the command exchange needs of a port: hand characters over, take what has arrived,
// and sleep until more arrives. Failures are thrown as Failure.
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
};
