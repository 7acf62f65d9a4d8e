#pragma once

#include "plccommandreader.h"
#include "plcoptions.h"
#include "plcstopsignal.h"
#include "pseudoterminal.h"

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

namespace plcsim
{

// The simulated controller: reads what the tool writes to the terminal and answers it.
class PlcEngine
{
public:
    using Log = std::function<void(const std::string &line)>;

    // Throws std::runtime_error when the stop signal cannot be set up.
    PlcEngine(PseudoTerminal &terminal, PlcOptions options, Log log = {});
    ~PlcEngine();
    PlcEngine(const PlcEngine &) = delete;
    PlcEngine &operator=(const PlcEngine &) = delete;

    void start(); // serves on a thread of its own
    void stop();  // async-signal-safe; prompt even in the middle of a delay
    // Serves on the caller's thread until stop(), a hang-up or an error on the terminal.
    void runUntilStopped();

    // The last bytes received, up to receivedKept of them: all of any test's exchange, while a
    // long run keeps only a bounded window.
    static constexpr std::size_t receivedKept = 64 * 1024;
    std::string received() const;
    // The bytes received in all, counted from the start.
    std::size_t receivedCount() const;
    // Waits until bytes have arrived in all, counted from the start.
    bool waitForReceived(std::size_t bytes, int timeoutMs) const;
    // Commands dealt with: answered, or swallowed under --silent.
    int commandsServed() const { return commandsServed_.load(); }
    // True once the engine has hung up the terminal of its own accord (--hangup-...).
    bool hungUp() const { return hungUp_.load(); }
    // Writes bytes to the tool now, between replies if one is under way.
    bool send(const std::string &bytes);

private:
    void serve();
    bool readAvailable(int master);
    bool handle(const PlcIncoming &incoming);
    bool transmit(const std::string &bytes);
    void hangUpInReply(const std::string &reply);
    bool writeAll(const std::string &bytes);
    void hangUp();
    void log(const std::string &line) const;

    PseudoTerminal &terminal_;
    const PlcOptions options_;
    const Log log_;
    PlcStopSignal stop_;
    PlcCommandReader reader_;
    std::mutex writeMutex_;
    mutable std::mutex receivedMutex_;
    mutable std::condition_variable receivedGrew_;
    std::string received_;
    std::size_t receivedCount_ = 0;
    std::atomic<int> commandsServed_ = 0;
    std::atomic<bool> hungUp_ = false;
    std::jthread thread_;
};

} // namespace plcsim
