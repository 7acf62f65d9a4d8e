// Round trips through the serial line against the simulated controller on a pseudo-terminal:
// one framed exchange against the bare round trip of the same terminal (goal: at most 1.15
// times as long), how long a command with handshake takes, and how much processor time the
// waits cost. Waits block on the port, so the processor time should be a small part of the wall.

#include "plcrig.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

namespace
{

double processorMsecs()
{
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return now.tv_sec * 1000.0 + now.tv_nsec / 1e6;
}

void measure(const char *what, plcsim::PlcOptions options, const QString &command, int rounds)
{
    PlcRig rig(std::move(options));
    rig.timeOut = QStringLiteral("500 ");
    QElapsedTimer wall;
    wall.start();
    const double cpuStart = processorMsecs();
    int replies = 0;
    for (int i = 0; i < rounds; ++i)
        replies += !rig.exchange.sendCommand(command).isEmpty();
    const double cpu = processorMsecs() - cpuStart;
    const double elapsed = wall.nsecsElapsed() / 1e6;
    std::printf("%-34s %4d rounds, %4d replies, %8.3f ms wall/round, processor %5.1f%% of wall\n",
                what, rounds, replies, elapsed / rounds, 100.0 * cpu / elapsed);
}

// The floor: the framed command written and its reply read back with plain poll and read on
// a raw terminal, nothing else. Returns microseconds per round trip.
double bareRoundTrip(int fd, const std::string &command, int rounds)
{
    QElapsedTimer wall;
    wall.start();
    char buffer[256];
    for (int i = 0; i < rounds; ++i) {
        if (::write(fd, command.data(), command.size()) != ssize_t(command.size()))
            return -1;
        for (bool done = false; !done;) {
            pollfd watch{fd, POLLIN, 0};
            if (::poll(&watch, 1, 500) != 1)
                return -1;
            const ssize_t count = ::read(fd, buffer, sizeof buffer);
            done = count > 0 && buffer[count - 1] == '\r';
        }
    }
    return wall.nsecsElapsed() / 1e3 / rounds;
}

double exchangeRoundTrip(CommandExchange &exchange, const QString &command, int rounds)
{
    QElapsedTimer wall;
    wall.start();
    for (int i = 0; i < rounds; ++i)
        if (exchange.sendCommand(command).isEmpty())
            return -1;
    return wall.nsecsElapsed() / 1e3 / rounds;
}

// Both on one terminal and one controller, taking turns so a busy machine slows both alike.
void measureAgainstBare()
{
    PlcRig rig;
    rig.exchange.sendCommand(QStringLiteral("@00RD56*"));

    const int fd = ::open(rig.terminal.slavePath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    termios raw{};
    ::tcgetattr(fd, &raw);
    ::cfmakeraw(&raw);
    ::tcsetattr(fd, TCSANOW, &raw);

    std::vector<double> bare;
    std::vector<double> framed;
    for (int turn = 0; turn < 21; ++turn) {
        bare.push_back(bareRoundTrip(fd, "@00RD56*\r", 200));
        framed.push_back(exchangeRoundTrip(rig.exchange, QStringLiteral("@00RD56*"), 200));
    }
    ::close(fd);
    std::sort(bare.begin(), bare.end());
    std::sort(framed.begin(), framed.end());
    const double b = bare[bare.size() / 2];
    const double f = framed[framed.size() / 2];
    std::printf("framed exchange %.1f us, bare terminal round trip %.1f us: ratio %.2f (goal <= "
                "1.15)\n",
                f, b, f / b);
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    measureAgainstBare();
    measure("handshake + command + reply", {}, QStringLiteral("RD D100"), 500);
    plcsim::PlcOptions late;
    late.replyDelayMs = 20;
    measure("reply 20 ms late", late, QStringLiteral("RD D100"), 20);
    plcsim::PlcOptions silent;
    silent.silent = true;
    measure("silent controller (500 ms wait)", silent, QStringLiteral("@00RD56*"), 2);
    return 0;
}
