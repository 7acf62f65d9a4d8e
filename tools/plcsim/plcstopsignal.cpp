#include "plcstopsignal.h"

#include <cerrno>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <stdexcept>
#include <string>
#include <unistd.h>

namespace plcsim
{

static_assert(std::atomic<bool>::is_always_lock_free, "raise() must stay async-signal-safe");

PlcStopSignal::PlcStopSignal()
{
    int ends[2];
    if (::pipe2(ends, O_CLOEXEC | O_NONBLOCK) != 0)
        throw std::runtime_error(std::string("pipe2: ") + std::strerror(errno));
    readEnd_ = ends[0];
    writeEnd_ = ends[1];
}

PlcStopSignal::~PlcStopSignal()
{
    ::close(readEnd_);
    ::close(writeEnd_);
}

void PlcStopSignal::raise() noexcept
{
    const int savedErrno = errno;
    raised_.store(true);
    const char wake = 1;
    // A full pipe already wakes every reader, so a failed write loses nothing.
    [[maybe_unused]] const auto written = ::write(writeEnd_, &wake, 1);
    errno = savedErrno;
}

bool PlcStopSignal::pause(int ms) const
{
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::milliseconds(ms);
    while (!raised()) {
        const auto left =
            std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0)
            return true;
        pollfd wake{readEnd_, POLLIN, 0};
        ::poll(&wake, 1, static_cast<int>(left));
    }
    return false;
}

} // namespace plcsim
