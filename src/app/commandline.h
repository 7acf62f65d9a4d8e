#pragma once

#include <optional>

// The window takes no command line of its own; --help and --version are answered on standard
// output without a display, and anything else is refused. Returns the exit status when the
// command line has been answered, nothing when the window should open.
std::optional<int> answerCommandLine(int argc, char *argv[]);
