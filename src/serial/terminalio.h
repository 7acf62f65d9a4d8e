#pragma once

#include <QByteArray>

class QSerialPort;

// The raw terminal calls beneath the port object, on the device QSerialPort has opened. Each
// reports a hang-up (the adapter unplugged, the other end gone) as its result rather than
// closing anything: the port object decides what a loss means. Everything that differs from
// one operating system to the next lives behind these four calls.
namespace TerminalIo
{

// Takes the device for this open file alone. QSerialPort's exclusive mode does not hold
// against root, nor against a second opener in this process; a lock on the open device does.
bool lockExclusively(QSerialPort &port);

// Hands the device what it takes at once, without blocking: the number of bytes taken, or -1
// when the other end hung up.
qint64 writeNow(QSerialPort &port, const QByteArray &bytes);

// Appends everything waiting at the device, without blocking; false when the other end hung up.
bool readWaiting(QSerialPort &port, QByteArray &bytes);

// Blocks until input waits at the device or msecs pass; false when the device hung up.
bool waitReadable(QSerialPort &port, int msecs);

} // namespace TerminalIo
