#pragma once

#include <QString>

// Why this user may not read and write the device, told by its owner, group and mode and the
// user's groups, with what to do; empty when they may.
QString deviceAccessProblem(const QString &device);
