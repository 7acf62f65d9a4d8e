#pragma once

#include <QString>

class Failure;

// The program that shows a failure to the operator.
enum class FrontEnd { Window, CommandLine };

// The failure as the front end shows it: what went wrong, then what to do about it there (in
// the window, a control to use; in vantrel-send, an option to give).
QString shownText(const Failure &failure, FrontEnd frontEnd);
