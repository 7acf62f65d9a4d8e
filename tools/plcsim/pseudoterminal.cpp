#include "pseudoterminal.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <stdexcept>
#include <termios.h>
#include <unistd.h>

namespace plcsim
{

namespace
{

std::runtime_error systemError(const char *what)
{
    return std::runtime_error(std::string(what) + ": " + std::strerror(errno));
}

void closeIfOpen(int &fd)
{
    if (fd >= 0)
        ::close(fd);
    fd = -1;
}

} // namespace

PseudoTerminal::PseudoTerminal()
{
    if (::openpty(&master_, &keptSlave_, nullptr, nullptr, nullptr) != 0)
        throw systemError("openpty");
    try {
        termios settings{};
        if (::tcgetattr(keptSlave_, &settings) != 0)
            throw systemError("tcgetattr");
        ::cfmakeraw(&settings);
        if (::tcsetattr(keptSlave_, TCSANOW, &settings) != 0)
            throw systemError("tcsetattr");
        const int flags = ::fcntl(master_, F_GETFL);
        if (flags < 0 || ::fcntl(master_, F_SETFL, flags | O_NONBLOCK) != 0)
            throw systemError("fcntl");
        // Child processes (a terminal program started from a script) must not keep them.
        ::fcntl(master_, F_SETFD, FD_CLOEXEC);
        ::fcntl(keptSlave_, F_SETFD, FD_CLOEXEC);
        char name[128];
        if (const int error = ::ttyname_r(keptSlave_, name, sizeof name); error != 0) {
            errno = error;
            throw systemError("ttyname_r");
        }
        slavePath_ = name;
    } catch (...) {
        hangUp();
        throw;
    }
}

PseudoTerminal::~PseudoTerminal()
{
    hangUp();
}

bool PseudoTerminal::slaveHasUnread() const
{
    // poll() rather than FIONREAD: it also counts bytes the kernel has not yet moved from the
    // master's write into the slave's input queue.
    pollfd unread{keptSlave_, POLLIN, 0};
    return keptSlave_ >= 0 && ::poll(&unread, 1, 0) == 1 && (unread.revents & POLLIN) != 0;
}

void PseudoTerminal::hangUp()
{
    // Master first: that is what hangs up the tool's side at once.
    closeIfOpen(master_);
    closeIfOpen(keptSlave_);
}

} // namespace plcsim
