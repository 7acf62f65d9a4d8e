#include "stopsignals.h"

#include "stophandler.h"

#include <QFile>

#include <algorithm>
#include <array>
#include <atomic>
#include <climits>
#include <cstring>
#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>
#include <utility>

namespace
{

// Fixed storage the signal handler can read without allocating or locking, whichever thread
// it runs on.
struct WatchedPort {
    enum State { Free, Writing, Watched };
    std::atomic<int> state = Free;
    int device = -1; // a descriptor of our own; -1 when the device is not ours to reset
    termios line = {};
    char lockFile[PATH_MAX] = {};
};
std::array<WatchedPort, 8> watched;
static_assert(std::atomic<int>::is_always_lock_free, "the handler must not take a lock");
int descriptorLimit = 1024;

// A descriptor on the device with the line settings it has before the port object changes
// them; -1 when it cannot be opened or another program has made it exclusive.
int keepDevice(const QString &device, termios &line)
{
    const int fd =
        ::open(QFile::encodeName(device).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    int exclusive = 0;
    if (fd >= 0 && ::tcgetattr(fd, &line) == 0 && ::ioctl(fd, TIOCGEXCL, &exclusive) == 0 &&
        !exclusive)
        return fd;
    if (fd >= 0)
        ::close(fd);
    return -1;
}

// Everything below runs in the signal handler: only async-signal-safe calls.

// Whether one of this process's descriptors is open on the file.
bool heldOpen(const struct stat &file)
{
    for (int fd = 0; fd < descriptorLimit; ++fd) {
        struct stat open = {};
        if (::fstat(fd, &open) == 0 && open.st_dev == file.st_dev && open.st_ino == file.st_ino)
            return true;
    }
    return false;
}

void release(const WatchedPort &port)
{
    if (port.device >= 0) {
        ::tcsetattr(port.device, TCSANOW, &port.line);
        ::ioctl(port.device, TIOCNXCL);
    }
    // Nothing is opened here: another user may have put a named pipe in the lock's place.
    struct stat file = {};
    if (::lstat(port.lockFile, &file) == 0 && S_ISREG(file.st_mode) && heldOpen(file))
        ::unlink(port.lockFile);
}

extern "C" void onStopSignal(int signalNumber)
{
    for (const WatchedPort &port : watched)
        if (port.state.load() == WatchedPort::Watched)
            release(port);
    ::_exit(128 + signalNumber);
}

} // namespace

void exitOnStopSignals()
{
    descriptorLimit = static_cast<int>(std::clamp(::sysconf(_SC_OPEN_MAX), 3L, 65536L));
    onStopSignals(onStopSignal);
}

void watchPort(const QString &device, const QString &lockFile)
{
    const QByteArray path = QFile::encodeName(lockFile);
    if (path.size() >= PATH_MAX)
        return; // QSerialPort cannot make such a lock file either
    for (WatchedPort &port : watched) {
        int expected = WatchedPort::Free;
        if (!port.state.compare_exchange_strong(expected, WatchedPort::Writing))
            continue;
        std::memcpy(port.lockFile, path.constData(), path.size() + 1);
        port.device = keepDevice(device, port.line);
        port.state.store(WatchedPort::Watched);
        return;
    }
}

void unwatchPort(const QString &lockFile)
{
    const QByteArray path = QFile::encodeName(lockFile);
    for (WatchedPort &port : watched) {
        int expected = WatchedPort::Watched;
        if (path != port.lockFile ||
            !port.state.compare_exchange_strong(expected, WatchedPort::Writing))
            continue;
        if (port.device >= 0)
            ::close(std::exchange(port.device, -1));
        port.state.store(WatchedPort::Free);
        return;
    }
}
