#pragma once

#include "failure.h"

#include <QString>

class QSerialPort;
struct PortMapping;

// What the operator is told when a port cannot be opened: why, in their terms, and what to do.

// Before the open: a device that is missing, is no serial device, or has no hardware behind it,
// with the devices there are.
void refuseUnusableDevice(const PortMapping &mapping);

// After QSerialPort failed to open the device: the reason from its error. Clears the port's
// error.
[[noreturn]] void failOpen(QSerialPort &port, const PortMapping &mapping, const QString &settings);

// Another program holds the device.
Failure inUseFailure(const QString &port);

// Settings the device could take but this system cannot give it.
Failure unavailableSettingsFailure(const QString &port, const QString &settings,
                                   const QString &why);
