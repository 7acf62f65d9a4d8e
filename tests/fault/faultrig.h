#pragma once

#include "portlockfile.h"
#include "simulatedplc.h"

#include <QFile>

// What the fault tests share: one generous bound for every wait on a condition, and finding
// the lock file of an open port.

inline constexpr int kBound = 30000; // ms; waits end as soon as their condition holds

// The lock file of the simulated controller's device once its first line, as QLockFile writes
// it, names the process that has the port open.
inline QString lockFileOf(const SimulatedPlc &plc, qint64 pid)
{
    for (const QString &path :
         lockFileCandidates(QString::fromStdString(plc.terminal.slavePath()))) {
        QFile file(path);
        if (file.open(QIODevice::ReadOnly) && file.readLine().trimmed().toLongLong() == pid)
            return path;
    }
    return {};
}
