#include "openfailure.h"

#include "portlockfile.h"
#include "portmap.h"
#include "serialdevices.h"

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

void failOpen(QSerialPort &port, const PortMapping &mapping, const QString &settings)
{
    const QString &devicePath = mapping.device;
    const QString name = mapping.description();
    const QSerialPort::SerialPortError error =
        QFileInfo::exists(devicePath) ? port.error() : QSerialPort::DeviceNotFoundError;
    const QString detail = port.errorString();
    port.clearError();
    switch (error) {
    case QSerialPort::DeviceNotFoundError:
        throw Failure(QStringLiteral("%1 cannot be opened: there is no such device%2.\n%3")
                          .arg(name,
                               mapping.origin.isEmpty()
                                   ? QString()
                                   : QStringLiteral(" (mapped by %1)").arg(mapping.origin),
                               serialDevicesAdvice(mapping.port)));
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
        throw unavailableSettingsFailure(
            name, settings, QStringLiteral(" (%1). Choose other settings.").arg(detail));
    default:
        throw Failure(QStringLiteral("%1 cannot be opened: %2.").arg(name, detail));
    }
}
