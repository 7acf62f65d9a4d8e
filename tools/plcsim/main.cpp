#include "plccli.h"
#include "plcdevicelink.h"
#include "plcengine.h"
#include "pseudoterminal.h"

#include <atomic>
#include <csignal>
#include <iostream>
#include <optional>
#include <stdexcept>

namespace
{

std::atomic<plcsim::PlcEngine *> running = nullptr;

extern "C" void onStopSignal(int)
{
    if (plcsim::PlcEngine *engine = running.load())
        engine->stop();
}

void stopOn(int signalNumber)
{
    struct sigaction action = {};
    action.sa_handler = onStopSignal;
    sigemptyset(&action.sa_mask);
    sigaction(signalNumber, &action, nullptr);
}

} // namespace

int main(int argc, char **argv)
{
    plcsim::PlcCommandLine request;
    try {
        request = plcsim::parseCommandLine({argv + 1, argv + argc});
    } catch (const std::invalid_argument &error) {
        std::cerr << "vantrel-plcsim: " << error.what() << "\nTry 'vantrel-plcsim --help'.\n";
        return 2;
    }
    if (request.help) {
        std::cout << plcsim::helpText();
        return 0;
    }
    if (request.version) {
        std::cout << "vantrel-plcsim " VANTREL_VERSION "\n";
        return 0;
    }
    try {
        plcsim::PseudoTerminal terminal;
        std::optional<plcsim::PlcDeviceLink> link;
        if (request.link)
            link.emplace(*request.link, terminal.slavePath());
        std::cout << terminal.slavePath() << '\n';
        if (link)
            std::cout << link->path() << '\n';
        std::cout.flush();

        plcsim::PlcEngine engine(terminal, request.options,
                                 [](const std::string &line) { std::cerr << line << '\n'; });
        running = &engine;
        stopOn(SIGINT);
        stopOn(SIGTERM);
        engine.runUntilStopped();
        running = nullptr;
    } catch (const std::runtime_error &error) {
        std::cerr << "vantrel-plcsim: " << error.what() << '\n';
        return 1;
    }
    return 0;
}
