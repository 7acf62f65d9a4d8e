#pragma once

#include "failure.h"

#include <QString>

class QSerialPort;
struct PortMapping;

// What the operator is told when a port cannot be opened: why, in their terms, and what to do.

// After QSerialPort failed to open the device, or found none: the reason from its error, with
// the devices there are when there is none. Clears the port's error.
[[noreturn]] void failOpen(QSerialPort &port, const PortMapping &mapping,
                           const QString &settings);

// Another program holds the device: the one its lock file names, when it names one.
Failure inUseFailure(const QString &port, const QString &holder = {}, qint64 pid = 0);

// Before QSerialPort opens the device: the path of its lock file, a stale one removed. Throws
// when a program holds the port, or when what stands there cannot be removed or no lock
// directory can be used.
QString clearWayForLockFile(const QString &port, const QString &device);

// Settings the device could take but this system cannot give it.
Failure unavailableSettingsFailure(const QString &port, const QString &settings,
                                   const QString &why);
