#pragma once

#include <QList>
#include <QString>

// A serial device this system has, as the operator can recognise it.
struct SerialDevice {
    QString path;
    // The stable name under /dev/serial/by-id, which survives replugging; empty when none.
    QString byId;
    QString description;
    QString manufacturer;
    QString serialNumber;

    // The name to put into a ports file: the by-id name where there is one.
    QString stableName() const { return byId.isEmpty() ? path : byId; }
    // "/dev/ttyUSB0 (/dev/serial/by-id/usb-FTDI_...): FT232R USB UART, FTDI, serial A50285BI".
    QString summary() const;
};

// The serial devices the system reports now, sorted by path.
QList<SerialDevice> serialDevices();

// What the operator is told when COMn has no device: the devices there are, and the line that
// would map COMn to one of them in the user's ports file. For port 0 (a device given by its
// path), just the devices.
QString serialDevicesAdvice(int port);
