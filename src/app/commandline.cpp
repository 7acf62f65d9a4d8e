#include "commandline.h"

#include <iostream>
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

Exit status: 0 when the window is closed, 2 for a refused argument,
128 + the signal number when ended by SIGINT, SIGTERM or SIGHUP.
See vantrel(1).
)";

} // namespace

std::optional<int> answerCommandLine(int argc, char *argv[])
{
    bool help = false;
    bool version = false;
    for (int i = 1; i < argc; ++i) {
        const std::string_view argument = argv[i];
        if (argument == "--help" || argument == "-h") {
            help = true;
        } else if (argument == "--version" || argument == "-V") {
            version = true;
        } else {
            std::cerr << "vantrel: unknown argument \"" << argument << "\"\n" << kUsage;
            return 2;
        }
    }
    if (help)
        std::cout << kUsage << kHelp;
    else if (version)
        std::cout << "vantrel " VANTREL_VERSION "\n";
    else
        return std::nullopt;
    return 0;
}
