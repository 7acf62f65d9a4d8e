#include "commandline.h"

#include <algorithm>
#include <iostream>
#include <iterator>
#include <string_view>

namespace
{

constexpr std::string_view kUsage = "Usage: vantrel [--help | --version]\n";

constexpr std::string_view kHelp = R"(
Opens the vantrel window: choose the port (COM1..COM6) and the line settings,
type a command and press Enter; the controller's reply is added to the log.

COMn is the device named by the environment variable VANTREL_COMn, else by the
line COMn=DEVICE in the [ports] section of vantrel/ports.conf under
$XDG_CONFIG_HOME (~/.config) or $XDG_CONFIG_DIRS (/etc/xdg), else /dev/ttyS(n-1).

  -h, --help      show this text and exit
  -V, --version   show the version and exit

Qt's own options (-platform, -style, -session, -display, ...) are passed to Qt.

Exit status: 0 when the window is closed, 2 for a refused argument,
128 + the signal number when ended by SIGINT, SIGTERM, SIGHUP, SIGQUIT,
SIGUSR1, SIGUSR2, SIGALRM, SIGXCPU, SIGXFSZ or SIGPIPE (port released first).
See vantrel(1).
)";

// The options Qt 6 takes out of the command line when the application object is made, with one
// dash or two: QGuiApplication's, QApplication's and the X11 platform's. A session manager
// restarts programs with -session.
// clang-format off
constexpr std::string_view kQtOptionsWithValue[] = {
    "platform", "platformpluginpath", "platformtheme", "plugin", "qwindowgeometry", "qwindowtitle",
    "qwindowicon", "geometry", "title", "icon", "display", "name", "visual", "session", "style",
    "stylesheet", "qmljsdebugger"};
constexpr std::string_view kQtOptionsWithEquals[] = {"style", "stylesheet", "qmljsdebugger"};
constexpr std::string_view kQtFlags[] = {
    "reverse", "widgetcount", "testability", "nograb", "dograb", "qdebug", "qdevel"};
// clang-format on

// How many arguments from argv[i] on make one of Qt's options; 0 when argv[i] begins none.
int qtOptionLength(int i, int argc, char *argv[])
{
    std::string_view argument = argv[i];
    if (!argument.starts_with('-'))
        return 0;
    argument.remove_prefix(argument.starts_with("--") ? 2 : 1);
    const std::string_view name = argument.substr(0, argument.find('='));
    const auto isOneOf = [name](const auto &names) {
        return std::find(std::begin(names), std::end(names), name) != std::end(names);
    };
    if (name != argument) // -style=Fusion
        return isOneOf(kQtOptionsWithEquals) ? 1 : 0;
    if (isOneOf(kQtFlags))
        return 1;
    if (isOneOf(kQtOptionsWithValue))
        return i + 1 < argc ? 2 : 1;
    return 0;
}

int refuse(std::string_view argument)
{
    std::cerr << "vantrel: unknown argument \"" << argument << "\"\n" << kUsage;
    return 2;
}

} // namespace

std::optional<int> answerCommandLine(int argc, char *argv[])
{
    bool help = false;
    bool version = false;
    for (int i = 1; i < argc; ++i) {
        const std::string_view argument = argv[i];
        if (argument == "--help" || argument == "-h")
            help = true;
        else if (argument == "--version" || argument == "-V")
            version = true;
        else if (const int length = qtOptionLength(i, argc, argv); length > 0)
            i += length - 1;
        else
            return refuse(argument);
    }
    if (help)
        std::cout << kUsage << kHelp;
    else if (version)
        std::cout << "vantrel " VANTREL_VERSION "\n";
    else
        return std::nullopt;
    return 0;
}

std::optional<int> refuseArgumentsLeft(int argc, char *argv[])
{
    if (argc > 1)
        return refuse(argv[1]);
    return std::nullopt;
}
