#include "plcengine.h"

#include "plcpieces.h"
#include "plcreply.h"
#include "plcvisible.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <poll.h>
#include <unistd.h>
#include <utility>

namespace plcsim
{

namespace
{

constexpr char enq = '\x05';
// How long the tool gets to read the last reply before a hang-up would discard it.
constexpr auto lastReplyGrace = std::chrono::seconds(1);

std::string errorText(const char *what)
{
    return std::string("error: ") + what + ": " + std::strerror(errno);
}

} // namespace

PlcEngine::PlcEngine(PseudoTerminal &terminal, PlcOptions options, Log log)
    : terminal_(terminal), options_(std::move(options)), log_(std::move(log))
{
}

PlcEngine::~PlcEngine()
{
    stop();
    if (thread_.joinable())
        thread_.join();
}

void PlcEngine::start()
{
    thread_ = std::jthread([this] { serve(); });
}

void PlcEngine::stop()
{
    stop_.raise();
}

void PlcEngine::runUntilStopped()
{
    serve();
}

std::string PlcEngine::received() const
{
    std::lock_guard lock(receivedMutex_);
    return received_.substr(received_.size() - std::min(received_.size(), receivedKept));
}

std::size_t PlcEngine::receivedCount() const
{
    std::lock_guard lock(receivedMutex_);
    return receivedCount_;
}

bool PlcEngine::waitForReceived(std::size_t bytes, int timeoutMs) const
{
    std::unique_lock lock(receivedMutex_);
    return receivedGrew_.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                                  [&] { return receivedCount_ >= bytes; });
}

bool PlcEngine::send(const std::string &bytes)
{
    return writeAll(bytes);
}

void PlcEngine::serve()
{
    while (!stop_.raised()) {
        // Only this thread hangs up, so the descriptor cannot close under the poll.
        const int master = terminal_.masterFd();
        if (master < 0)
            return;
        pollfd watched[] = {{master, POLLIN, 0}, {stop_.fd(), POLLIN, 0}};
        if (::poll(watched, 2, -1) < 0) {
            if (errno == EINTR)
                continue;
            log(errorText("poll"));
            return;
        }
        if (watched[1].revents != 0)
            return;
        if ((watched[0].revents & POLLIN) != 0) {
            if (!readAvailable(master))
                return;
        } else if (watched[0].revents != 0) {
            log("error: the terminal failed");
            return;
        }
    }
}

bool PlcEngine::readAvailable(int master)
{
    char buffer[512];
    const ssize_t count = ::read(master, buffer, sizeof buffer);
    if (count < 0) {
        if (errno == EAGAIN || errno == EINTR)
            return true;
        log(errorText("read"));
        return false;
    }
    if (count == 0)
        return false;
    {
        std::lock_guard lock(receivedMutex_);
        received_.append(buffer, static_cast<std::size_t>(count));
        receivedCount_ += static_cast<std::size_t>(count);
        // Trimmed in halves, so each byte is moved at most once.
        if (received_.size() > 2 * receivedKept)
            received_.erase(0, received_.size() - receivedKept);
    }
    receivedGrew_.notify_all();
    for (ssize_t i = 0; i < count; ++i) {
        if (const auto incoming = reader_.feed(buffer[i]); incoming && !handle(*incoming))
            return false;
    }
    return true;
}

bool PlcEngine::handle(const PlcIncoming &incoming)
{
    using Phase = PlcOptions::Phase;
    if (incoming.kind == PlcIncoming::Kind::Overlong) {
        log("note: a command has passed " + std::to_string(PlcCommandReader::maxCommand) +
            " bytes without CR; the rest of it is dropped up to its CR");
        return true;
    }
    if (incoming.kind == PlcIncoming::Kind::Enquiry) {
        log("rx: " + visible(std::string(1, enq)));
        if (options_.hangupDuring == Phase::Handshake) {
            hangUp();
            return false;
        }
        if (!options_.answerEnq)
            return true;
        return stop_.pause(options_.enqDelayMs) && transmit(std::string(1, enq));
    }
    if (log_)
        log("rx: " + visibleStart(incoming.text + "\r") +
            (incoming.dropped == 0
                 ? ""
                 : " (" + std::to_string(incoming.dropped) + " more bytes dropped)"));
    if (options_.hangupDuring == Phase::Reply && !options_.silent) {
        hangUpInReply(replyFor(incoming.text, options_));
        return false;
    }
    if (!options_.silent) {
        if (!stop_.pause(options_.replyDelayMs) || !transmit(replyFor(incoming.text, options_)))
            return false;
    }
    if (++commandsServed_ == options_.hangupAfter) {
        hangUp();
        return false;
    }
    return true;
}

bool PlcEngine::transmit(const std::string &bytes)
{
    bool first = true;
    for (const std::string &piece : splitEvenly(bytes, options_.pieces)) {
        if (!first && !stop_.pause(options_.pauseMs))
            return false;
        if (!writeAll(piece))
            return false;
        first = false;
    }
    // Spelling out a long reply costs time the tool under test would otherwise have.
    if (log_)
        log("tx: " + visibleStart(bytes));
    return true;
}

void PlcEngine::hangUpInReply(const std::string &reply)
{
    const std::string firstHalf = splitEvenly(reply, 2).front();
    if (writeAll(firstHalf))
        log("tx: " + visibleStart(firstHalf) + " (first half)");
    hangUp();
}

bool PlcEngine::writeAll(const std::string &bytes)
{
    std::lock_guard lock(writeMutex_);
    const int master = terminal_.masterFd();
    std::size_t done = 0;
    while (master >= 0 && done < bytes.size()) {
        const ssize_t count = ::write(master, bytes.data() + done, bytes.size() - done);
        if (count >= 0) {
            done += static_cast<std::size_t>(count);
            continue;
        }
        if (errno == EINTR)
            continue;
        if (errno != EAGAIN) {
            log(errorText("write"));
            return false;
        }
        // The tool is not reading and the terminal buffer is full: wait for room or stop.
        pollfd watched[] = {{master, POLLOUT, 0}, {stop_.fd(), POLLIN, 0}};
        if ((::poll(watched, 2, -1) < 0 && errno != EINTR) || watched[1].revents != 0)
            return false;
    }
    return master >= 0;
}

void PlcEngine::hangUp()
{
    const auto deadline = std::chrono::steady_clock::now() + lastReplyGrace;
    while (terminal_.slaveHasUnread() && std::chrono::steady_clock::now() < deadline &&
           stop_.pause(10)) {
    }
    {
        std::lock_guard lock(writeMutex_);
        terminal_.hangUp();
    }
    hungUp_.store(true);
    log("hang-up after " + std::to_string(commandsServed_.load()) + " command(s)");
}

void PlcEngine::log(const std::string &line) const
{
    if (log_)
        log_(line);
}

} // namespace plcsim
