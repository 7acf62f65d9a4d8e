#include "stopsignals.h"

#include "portlockfile.h"
#include "stophandler.h"

#include <array>
#include <atomic>
#include <climits>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace
{

// Fixed storage the signal handler can read without allocating or locking, whichever thread
// it runs on.
struct WatchedDevice {
    enum State { Free, Writing, Watched };
    std::atomic<int> state = Free;
    char lockFileName[NAME_MAX + 1] = {};
};
std::array<WatchedDevice, 8> watched;
static_assert(std::atomic<int>::is_always_lock_free, "the handler must not take a lock");

// Everything below runs in the signal handler: only async-signal-safe calls.

bool joinPath(char (&path)[PATH_MAX], const char *directory, const char *name)
{
    const std::size_t directoryLength = std::strlen(directory);
    const std::size_t nameLength = std::strlen(name);
    if (directoryLength + 1 + nameLength >= sizeof path)
        return false;
    std::memcpy(path, directory, directoryLength);
    path[directoryLength] = '/';
    std::memcpy(path + directoryLength + 1, name, nameLength + 1);
    return true;
}

// True when the file's first line is the process id, as QLockFile writes it.
bool namesProcess(const char *path, pid_t pid)
{
    const int fd = ::open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    char text[24];
    const ssize_t count = ::read(fd, text, sizeof text);
    ::close(fd);
    long long value = 0;
    ssize_t digits = 0;
    while (digits < count && digits < 19 && text[digits] >= '0' && text[digits] <= '9')
        value = value * 10 + (text[digits++] - '0');
    return digits > 0 && (digits == count || text[digits] == '\n') && value == pid;
}

extern "C" void onStopSignal(int signalNumber)
{
    const pid_t self = ::getpid();
    for (WatchedDevice &device : watched) {
        if (device.state.load() != WatchedDevice::Watched)
            continue;
        for (const char *directory : kLockDirectories) {
            char path[PATH_MAX];
            if (joinPath(path, directory, device.lockFileName) && namesProcess(path, self))
                ::unlink(path);
        }
    }
    ::_exit(128 + signalNumber);
}

} // namespace

void exitOnStopSignals()
{
    onStopSignals(onStopSignal);
}

void watchLockFile(const QString &devicePath)
{
    const QByteArray name = lockFileName(devicePath).toLocal8Bit();
    if (name.size() > NAME_MAX)
        return; // QSerialPort cannot make such a lock file either
    for (WatchedDevice &device : watched) {
        int expected = WatchedDevice::Free;
        if (!device.state.compare_exchange_strong(expected, WatchedDevice::Writing))
            continue;
        std::memcpy(device.lockFileName, name.constData(), name.size() + 1);
        device.state.store(WatchedDevice::Watched);
        return;
    }
}

void unwatchLockFile(const QString &devicePath)
{
    const QByteArray name = lockFileName(devicePath).toLocal8Bit();
    for (WatchedDevice &device : watched) {
        if (device.state.load() == WatchedDevice::Watched && name == device.lockFileName) {
            device.state.store(WatchedDevice::Free);
            return;
        }
    }
}
