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
#include <functional>
#include <poll.h>
#include <string>
#include <unistd.h>
#include <vector>

namespace
{

constexpr int kCommands = 1000;
constexpr int kStarts = 15;
constexpr int kRounds = 5;
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
    const std::size_t before = engine.receivedCount();
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

// Start to exit of a program that sends nothing: what starting any process, or loading Qt,
// costs on this machine, for scale.
double startToExit(const QString &program, const QStringList &arguments)
{
    QProcess process;
    process.setStandardOutputFile(QProcess::nullDevice());
    QElapsedTimer timer;
    timer.start();
    process.start(program, arguments);
    if (!process.waitForFinished(5000) || process.exitCode() != 0)
        return -1;
    return timer.nsecsElapsed() / 1e6;
}

// The median, or -1 when any measurement failed.
double middle(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values.front() < 0 ? -1 : values[values.size() / 2];
}

double median(const std::function<double()> &measure)
{
    std::vector<double> values;
    for (int i = 0; i < kStarts; ++i)
        values.push_back(measure());
    return middle(values);
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    plcsim::PseudoTerminal terminal;
    plcsim::PlcEngine engine(terminal, {});
    engine.start();
    const std::string &device = terminal.slavePath();

    QByteArray many;
    for (int i = 0; i < kCommands; ++i)
        many += QByteArray(kCommand) + '\n';
    // The two side by side, round after round, so a change in the machine's load hits both.
    std::vector<double> raws, sends;
    for (int round = 0; round < kRounds; ++round) {
        raws.push_back(rawMsecsPerCommand(device));
        double total = 0;
        const double first = runSend(engine, device, many, total);
        sends.push_back(first < 0 ? -1 : (total - first) / kCommands);
    }
    const double raw = middle(raws);
    const double perCommand = middle(sends);

    double ignored = 0;
    const double start = median([&] { return runSend(engine, device, {}, ignored); });
    const double trueStart = median([] { return startToExit(QStringLiteral("/bin/true"), {}); });
    const double qtStart =
        median([] { return startToExit(sendProgram(), {QStringLiteral("--version")}); });

    if (raw < 0 || perCommand < 0 || start < 0 || trueStart < 0 || qtStart < 0) {
        std::fprintf(stderr, "bench_send: an exchange failed\n");
        return 1;
    }
    std::printf("raw round trip (poll/read loop)     %8.3f ms/command (median of %d rounds)\n", raw,
                kRounds);
    std::printf("vantrel-send, %d commands on stdin %8.3f ms/command (%.2fx raw; goal <= 1.2x)\n",
                kCommands, perCommand, perCommand / raw);
    std::printf("vantrel-send, start to first byte   %8.3f ms (median of %d; goal <= 20 ms)\n",
                start, kStarts);
    std::printf("  for scale, start to exit: /bin/true %.3f ms, vantrel-send --version %.3f ms\n",
                trueStart, qtStart);
    return 0;
}
