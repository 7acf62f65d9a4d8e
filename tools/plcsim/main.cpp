#include "plccli.h"
#include "plcdevicelink.h"
#include "plcengine.h"
#include "plcloglimiter.h"
#include "pseudoterminal.h"
#include "standarddescriptors.h"
#include "stophandler.h"

#include <atomic>
#include <csignal>
#include <iostream>
#include <optional>
#include <stdexcept>

namespace
{

std::atomic<plcsim::PlcEngine *> running = nullptr;
std::atomic<int> stopSignal = 0;

// Noted first and the engine looked at second, while main sets the engine first and looks at
// the note second: a signal that comes before the engine runs is never lost.
extern "C" void onStopSignal(int signalNumber)
{
    stopSignal.store(signalNumber);
    if (plcsim::PlcEngine *engine = running.load())
        engine->stop();
}

} // namespace

int main(int argc, char **argv)
{
    openMissingStandardDescriptors();
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
    // Before the link exists, so no stop signal can leave the link behind.
    onStopSignals(onStopSignal);
    try {
        plcsim::PseudoTerminal terminal;
        std::optional<plcsim::PlcDeviceLink> link;
        if (request.link)
            link.emplace(*request.link, terminal.slavePath());
        std::cout << terminal.slavePath() << '\n';
        if (link)
            std::cout << link->path() << '\n';
        std::cout.flush();

        plcsim::PlcLogLimiter log([](const std::string &line) { std::cerr << line << '\n'; });
        plcsim::PlcEngine engine(terminal, request.options,
                                 [&log](const std::string &line) { log.write(line); });
        running = &engine;
        if (stopSignal.load() != 0)
            engine.stop();
        engine.runUntilStopped();
        running = nullptr;
    } catch (const std::runtime_error &error) {
        std::cerr << "vantrel-plcsim: " << error.what() << '\n';
        return 1;
    }
    // The terminal is hung up and the link removed by now; the status tells the signal.
    return stopSignal.load() != 0 ? 128 + stopSignal.load() : 0;
}
