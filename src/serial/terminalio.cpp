// POSIX terminals. A port of vantrel to another system replaces this file.

#include "terminalio.h"

#include <QDeadlineTimer>
#include <QSerialPort>

#include <cerrno>
#include <poll.h>
#include <sys/file.h>
#include <unistd.h>

namespace
{

int descriptor(QSerialPort &port)
{
    return static_cast<int>(port.handle());
}

bool wouldBlock()
{
    return errno == EAGAIN || errno == EWOULDBLOCK;
}

} // namespace

namespace TerminalIo
{

bool lockExclusively(QSerialPort &port)
{
    return ::flock(descriptor(port), LOCK_EX | LOCK_NB) == 0;
}

qint64 writeNow(QSerialPort &port, const QByteArray &bytes)
{
    ssize_t written = 0;
    do
        written = ::write(descriptor(port), bytes.constData(), static_cast<size_t>(bytes.size()));
    while (written < 0 && errno == EINTR);
    if (written >= 0)
        return written;
    // Any error but a full queue on a terminal (EIO) means the other end hung up.
    return wouldBlock() ? 0 : -1;
}

bool readWaiting(QSerialPort &port, QByteArray &bytes)
{
    // The device is non-blocking: one read takes everything waiting, without a poll first.
    char chunk[64 * 1024];
    for (;;) {
        const ssize_t count = ::read(descriptor(port), chunk, sizeof chunk);
        if (count > 0)
            bytes.append(chunk, count);
        if (count == ssize_t(sizeof chunk) || (count < 0 && errno == EINTR))
            continue;
        // A raw terminal reads 0 when nothing waits; an error (EIO) means the other end hung up.
        return count >= 0 || wouldBlock();
    }
}

bool waitReadable(QSerialPort &port, int msecs)
{
    // Blocks on the device itself: waitForReadyRead gives up at once on a hung-up device and
    // would turn the caller's wait into a spin.
    pollfd watch{descriptor(port), POLLIN, 0};
    int ready = 0;
    const QDeadlineTimer deadline(msecs);
    do
        ready = ::poll(&watch, 1, static_cast<int>(deadline.remainingTime()));
    while (ready < 0 && errno == EINTR);
    return !(ready > 0 && (watch.revents & (POLLHUP | POLLERR | POLLNVAL)));
}

} // namespace TerminalIo
