#pragma once

#include <atomic>

namespace plcsim
{

// A stop request that even a signal handler may raise: an atomic flag plus a pipe whose read
// end becomes readable, so a poll() in progress wakes at once. Once raised it stays raised.
class PlcStopSignal
{
public:
    PlcStopSignal(); // throws std::runtime_error
    ~PlcStopSignal();
    PlcStopSignal(const PlcStopSignal &) = delete;
    PlcStopSignal &operator=(const PlcStopSignal &) = delete;

    void raise() noexcept; // async-signal-safe
    bool raised() const noexcept { return raised_.load(); }
    int fd() const noexcept { return readEnd_; } // readable once raised

    // Waits ms milliseconds or until raised; false when raised.
    bool pause(int ms) const;

private:
    std::atomic<bool> raised_ = false;
    int readEnd_ = -1;
    int writeEnd_ = -1;
};

} // namespace plcsim
