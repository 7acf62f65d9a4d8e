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

// Another program holds the device.
Failure inUseFailure(const QString &port);

// Settings the device could take but this system cannot give it.
Failure unavailableSettingsFailure(const QString &port, const QString &settings,
                                   const QString &why);
