#pragma once

#include <optional>

// The window takes no command line of its own but --help and --version, answered on standard
// output without a display. Qt's own options (-platform, -style, -session, ...) are left for
// Qt, which takes them out of argc and argv when the application object is made.

// Before Qt starts: returns the exit status when the command line has been answered (--help,
// --version, or an argument neither the window nor Qt takes), nothing when the window should
// open.
std::optional<int> answerCommandLine(int argc, char *argv[]);

// After Qt took its own: whatever is left (an X11 option on another platform, say) is refused.
std::optional<int> refuseArgumentsLeft(int argc, char *argv[]);
