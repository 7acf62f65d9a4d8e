#pragma once

#include <QIcon>

// The window's icon: the one the package installs for the desktop entry, compiled in, so the
// task bar shows it whichever icon theme the desktop uses.
QIcon vantrelIcon();
