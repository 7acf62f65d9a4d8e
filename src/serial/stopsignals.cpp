#include "stopsignals.h"

#include <array>
#include <atomic>
#include <climits>
#include <csignal>
#include <cstring>
#include <unistd.h>

namespace
{

// Fixed storage the signal handler can read without allocating or locking.
struct HeldPath {
    std::atomic<bool> used = false;
    char path[PATH_MAX] = {};
};
std::array<HeldPath, 8> held;

extern "C" void onStopSignal(int signalNumber)
{
    for (HeldPath &slot : held)
        if (slot.used.load())
            ::unlink(slot.path);
    ::_exit(128 + signalNumber);
}

} // namespace

void exitOnStopSignals()
{
    struct sigaction action = {};
    action.sa_handler = onStopSignal;
    sigfillset(&action.sa_mask);
    for (int signalNumber : {SIGINT, SIGTERM, SIGHUP})
        sigaction(signalNumber, &action, nullptr);
}

void noteHeldLockFile(const QString &path)
{
    const QByteArray bytes = path.toLocal8Bit();
    if (path.isEmpty() || bytes.size() >= PATH_MAX)
        return;
    for (HeldPath &slot : held) {
        if (slot.used.load())
            continue;
        std::memcpy(slot.path, bytes.constData(), bytes.size() + 1);
        slot.used.store(true);
        return;
    }
}

void forgetHeldLockFile(const QString &path)
{
    const QByteArray bytes = path.toLocal8Bit();
    for (HeldPath &slot : held)
        if (slot.used.load() && bytes == slot.path)
            slot.used.store(false);
}
