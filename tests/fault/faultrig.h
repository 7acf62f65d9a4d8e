#pragma once

#include "portlockfile.h"
#include "simulatedplc.h"

#include <QFileInfo>

// What the fault tests share: one generous bound for every wait on a condition, and finding
// the lock file of an open port.

inline constexpr int kBound = 30000; // ms; waits end as soon as their condition holds

// The lock file of the simulated controller's device while a port object has it open.
inline QString lockFileOf(const SimulatedPlc &plc)
{
    for (const QString &path : lockFileCandidates(QString::fromStdString(plc.terminal.slavePath())))
        if (QFileInfo::exists(path))
            return path;
    return {};
}
