// Round trips through the serial line against the simulated controller on a pseudo-terminal:
// how long a command with handshake takes, and how much processor time the waits cost. Waits
// block on the port, so the processor time should be a small part of the wall time.

#include "commandexchange.h"
#include "mscomm.h"
#include "plcengine.h"
#include "portsteps.h"
#include "pseudoterminal.h"
#include "steadytickclock.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <cstdio>
#include <ctime>

namespace
{

struct Host final : ExchangeHost, PortChoiceSource {
    explicit Host(MSComm &comm) : comm(comm) {}
    QString timeOutText() const override { return QStringLiteral("500 "); }
    void openPort_Click() override { openPortSteps(comm, *this); }
    PortChoices portChoices() const override { return {"115200", "None", "8", "1", 0}; }
    MSComm &comm;
};

double processorMsecs()
{
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return now.tv_sec * 1000.0 + now.tv_nsec / 1e6;
}

void measure(const char *what, plcsim::PlcOptions options, const QString &command, int rounds)
{
    plcsim::PseudoTerminal terminal;
    plcsim::PlcEngine engine(terminal, std::move(options));
    engine.start();
    qputenv("VANTREL_COM1", QByteArray::fromStdString(terminal.slavePath()));
    MSComm comm;
    Host host(comm);
    SteadyTickClock clock;
    CommandExchange exchange(comm, clock, host);

    QElapsedTimer wall;
    wall.start();
    const double cpuStart = processorMsecs();
    int replies = 0;
    for (int i = 0; i < rounds; ++i)
        replies += !exchange.sendCommand(command).isEmpty();
    const double cpu = processorMsecs() - cpuStart;
    const double elapsed = wall.nsecsElapsed() / 1e6;
    std::printf("%-34s %4d rounds, %4d replies, %8.3f ms wall/round, processor %5.1f%% of wall\n",
                what, rounds, replies, elapsed / rounds, 100.0 * cpu / elapsed);
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    measure("handshake + command + reply", {}, QStringLiteral("RD D100"), 500);
    plcsim::PlcOptions late;
    late.replyDelayMs = 20;
    measure("reply 20 ms late", late, QStringLiteral("RD D100"), 20);
    plcsim::PlcOptions silent;
    silent.silent = true;
    measure("silent controller (500 ms wait)", silent, QStringLiteral("@00RD56*"), 2);
    return 0;
}
