#include "commandsource.h"
#include "failure.h"
#include "frontendadvice.h"
#include "portlist.h"
#include "sendoptions.h"
#include "sendsession.h"
#include "standarddescriptors.h"
#include "standardoutput.h"
#include "stopsignals.h"

#include <QCoreApplication>

#include <csignal>
#include <cstdio>
#include <optional>

namespace
{

// A bad command line, timeout, settings or command; a port that cannot be opened or went away.
constexpr int kFailure = 2;

int fail(const QString &message)
{
    std::fprintf(stderr, "vantrel-send: %s\n", qPrintable(message));
    return kFailure;
}

// What --help, --version and --list-ports print; nothing when commands are to be sent.
std::optional<QString> information(const SendOptions &options)
{
    if (options.help)
        return sendHelpText();
    if (options.version)
        return QStringLiteral("vantrel-send %1\n").arg(QCoreApplication::applicationVersion());
    if (options.listPorts)
        return portList();
    return std::nullopt;
}

} // namespace

int main(int argc, char *argv[])
{
    openMissingStandardDescriptors();
    exitOnStopSignals();
    // A reader that goes away is reported as a failure to write, with the port closed properly.
    std::signal(SIGPIPE, SIG_IGN);
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("vantrel-send"));
    QCoreApplication::setApplicationVersion(QStringLiteral(VANTREL_VERSION));
    try {
        const SendOptions options = parseSendOptions(QCoreApplication::arguments());
        if (const std::optional<QString> text = information(options)) {
            writeOut(text->toUtf8());
            return 0;
        }
        SendSession session(options);
        CommandSource commands(options.commands);
        return session.run(commands);
    } catch (const Failure &failure) {
        return fail(shownText(failure, FrontEnd::CommandLine));
    } catch (const std::exception &failure) {
        return fail(QString::fromLocal8Bit(failure.what()));
    }
}
