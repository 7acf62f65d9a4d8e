// vantrel-send against the raw pseudo-terminal round trip, both talking to the same instant
// simulated controller: the time per command with 1,000 commands piped through standard input,
// and the time from starting the process to its first byte on the wire.
// Goals: at most 1.2 times the raw round trip per command; the first byte within 20 ms.

#include "plcengine.h"
#include "pseudoterminal.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>

#include <algorithm>
#include <cstdio>
#include <fcntl.h>
#include <poll.h>
#include <string>
#include <unistd.h>
#include <vector>

namespace
{

constexpr int kCommands = 1000;
constexpr int kStarts = 15;
const char *const kCommand = "RD D100";

// Reads until the input ends with end; false on a hang-up or an error.
bool readUntil(int fd, char end)
{
    char buffer[256];
    for (;;) {
        pollfd watch{fd, POLLIN, 0};
        if (::poll(&watch, 1, 1000) != 1)
            return false;
        const ssize_t count = ::read(fd, buffer, sizeof buffer);
        if (count <= 0)
            return false;
        if (buffer[count - 1] == end)
            return true;
    }
}

// The same exchange as vantrel-send's, written plainly: ENQ, a lone ENQ back, command and CR,
// the reply up to its CR.
double rawMsecsPerCommand(const std::string &device)
{
    const int fd = ::open(device.c_str(), O_RDWR | O_NOCTTY);
    if (fd < 0)
        return -1;
    const std::string command = std::string(kCommand) + "\r";
    QElapsedTimer timer;
    timer.start();
    for (int i = 0; i < kCommands; ++i) {
        if (::write(fd, "\x05", 1) != 1 || !readUntil(fd, '\x05') ||
            ::write(fd, command.data(), command.size()) != ssize_t(command.size()) ||
            !readUntil(fd, '\r'))
            return -1;
    }
    const double msecs = timer.nsecsElapsed() / 1e6 / kCommands;
    ::close(fd);
    return msecs;
}

QString sendProgram()
{
    return QCoreApplication::applicationDirPath() + QStringLiteral("/vantrel-send");
}

// Starts vantrel-send with the commands on its standard input, or with one command as its
// argument when input is empty; returns the milliseconds from the start to the controller's
// first received byte, and sets total to the whole run.
double runSend(const plcsim::PlcEngine &engine, const std::string &device, const QByteArray &input,
               double &total)
{
    const std::size_t before = engine.received().size();
    QProcess send;
    send.setStandardOutputFile(QProcess::nullDevice());
    send.setProgram(sendProgram());
    QStringList arguments{QStringLiteral("-p"), QString::fromStdString(device)};
    if (input.isEmpty())
        arguments.append(QString::fromLatin1(kCommand));
    send.setArguments(arguments);
    QElapsedTimer timer;
    timer.start();
    send.start();
    if (!input.isEmpty()) {
        // Without an event loop the pipe is filled only while waiting on it.
        send.write(input);
        send.waitForBytesWritten(5000);
        send.closeWriteChannel();
    }
    if (!engine.waitForReceived(before + 1, 5000))
        return -1;
    const double first = timer.nsecsElapsed() / 1e6;
    if (!send.waitForFinished(60000) || send.exitCode() != 0)
        return -1;
    total = timer.nsecsElapsed() / 1e6;
    return first;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    plcsim::PseudoTerminal terminal;
    plcsim::PlcEngine engine(terminal, {});
    engine.start();
    const std::string &device = terminal.slavePath();

    const double raw = rawMsecsPerCommand(device);

    QByteArray many;
    for (int i = 0; i < kCommands; ++i)
        many += QByteArray(kCommand) + '\n';
    double total = 0;
    const double first = runSend(engine, device, many, total);
    const double perCommand = (total - first) / kCommands;

    std::vector<double> starts;
    for (int i = 0; i < kStarts; ++i) {
        double ignored = 0;
        starts.push_back(runSend(engine, device, {}, ignored));
    }
    std::sort(starts.begin(), starts.end());

    if (raw < 0 || first < 0 || starts.front() < 0) {
        std::fprintf(stderr, "bench_send: an exchange failed\n");
        return 1;
    }
    std::printf("raw round trip (poll/read loop)    %8.3f ms/command\n", raw);
    std::printf("vantrel-send, %d commands on stdin %8.3f ms/command  (%.2fx raw; goal <= 1.2x)\n",
                kCommands, perCommand, perCommand / raw);
    std::printf("vantrel-send, start to first byte  %8.3f ms median, %.3f ms worst of %d "
                "(goal <= 20 ms)\n",
                starts[starts.size() / 2], starts.back(), kStarts);
    return 0;
}
