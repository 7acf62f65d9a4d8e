#include "openfailure.h"

#include "portlockfile.h"
#include "portmap.h"
#include "serialdevices.h"
#include "systemfiles.h"

#include <QFileInfo>
#include <QSerialPort>

Failure inUseFailure(const QString &port)
{
    return Failure(QStringLiteral("%1 is in use by another program. Close that program, or "
                                  "choose another port.")
                       .arg(port));
}

Failure unavailableSettingsFailure(const QString &port, const QString &settings,
                                   const QString &why)
{
    return Failure(QStringLiteral("%1 cannot take the line settings \"%2\"%3")
                       .arg(port, settings, why));
}

namespace
{

[[noreturn]] void failDevice(const PortMapping &mapping, const QString &why)
{
    throw Failure(QStringLiteral("%1 cannot be opened: %2%3.\n%4")
                      .arg(mapping.description(), why,
                           mapping.origin.isEmpty()
                               ? QString()
                               : QStringLiteral(" (mapped by %1)").arg(mapping.origin),
                           serialDevicesAdvice(mapping.port)));
}

[[noreturn]] void failNotSerial(const PortMapping &mapping)
{
    failDevice(mapping, QStringLiteral("%1 is not a serial device").arg(mapping.device));
}

} // namespace

void refuseUnusableDevice(const PortMapping &mapping)
{
    switch (SystemFiles::deviceState(mapping.device)) {
    case SystemFiles::DeviceState::Missing:
        failDevice(mapping, QStringLiteral("there is no such device"));
    case SystemFiles::DeviceState::NotSerial:
        failNotSerial(mapping);
    case SystemFiles::DeviceState::NoHardware:
        failDevice(mapping, QStringLiteral("no serial hardware answers at %1").arg(mapping.device));
    case SystemFiles::DeviceState::Present:
        break;
    }
}

void failOpen(QSerialPort &port, const PortMapping &mapping, const QString &settings)
{
    const QString &devicePath = mapping.device;
    const QString name = mapping.description();
    const QSerialPort::SerialPortError error = port.error();
    const QString detail = port.errorString();
    port.clearError();
    // The device may have gone, or been replaced, since it was looked at.
    refuseUnusableDevice(mapping);
    switch (error) {
    case QSerialPort::DeviceNotFoundError:
    case QSerialPort::ResourceError:
        // The node is there, but opening it gives ENODEV or EIO: no UART behind it.
        failDevice(mapping,
                   QStringLiteral("no serial hardware answers at %1 (%2)").arg(devicePath, detail));
    case QSerialPort::PermissionError: {
        const QFileInfo device(devicePath);
        if (!device.isReadable() || !device.isWritable())
            throw Failure(QStringLiteral("%1 cannot be opened: permission denied. Add your user "
                                         "to the dialout group (sudo usermod -aG dialout "
                                         "$USER), then log in again.")
                              .arg(name));
        if (const auto stale = staleLockFile(devicePath))
            throw Failure(QStringLiteral("%1 cannot be opened: the lock file %2 was left behind "
                                         "by process %3, which no longer exists, and you may "
                                         "not remove it. Remove it (sudo rm %2), then open "
                                         "the port again.")
                              .arg(name, stale->path)
                              .arg(stale->pid));
        throw inUseFailure(name);
    }
    case QSerialPort::UnsupportedOperationError:
        // /dev/null and its kind refuse the terminal calls just as a port refuses a speed.
        if (!SystemFiles::isTerminal(devicePath))
            failNotSerial(mapping);
        throw unavailableSettingsFailure(
            name, settings, QStringLiteral(" (%1). Choose other settings.").arg(detail));
    default:
        throw Failure(QStringLiteral("%1 cannot be opened: %2.").arg(name, detail));
    }
}
