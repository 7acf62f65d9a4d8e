#include "openfailure.h"

#include "deviceaccess.h"
#include "portlockfile.h"
#include "portmap.h"
#include "serialdevices.h"
#include "systemfiles.h"

#include <QFileInfo>
#include <QSerialPort>

#include <cerrno>
#include <cstring>
#include <unistd.h>

namespace
{

QString removalAdvice(const QString &path)
{
    return ::geteuid() == 0
               ? QStringLiteral("Remove it by hand (rm %1), then open the port again.").arg(path)
               : QStringLiteral("Ask an administrator to remove it (sudo rm %1), then open the "
                                "port again.")
                     .arg(path);
}

void throwIfLocked(const QString &port, const LockFile &lock)
{
    switch (lock.state) {
    case LockFile::State::Absent:
        return;
    case LockFile::State::Held:
        throw inUseFailure(port, lock.holder, lock.pid);
    case LockFile::State::Stale: {
        // Root is refused only by an immutable file or a read-only file system.
        const int error = lock.removeError;
        QString removal;
        if ((error == EACCES || error == EPERM) && ::geteuid() != 0)
            removal = QStringLiteral(", and you may not remove it");
        else if (error != 0)
            removal = QStringLiteral(", and it cannot be removed (%1)")
                          .arg(QString::fromLocal8Bit(std::strerror(error)));
        throw Failure(QStringLiteral("%1 cannot be opened: the lock file %2 %3%4. %5")
                          .arg(port, lock.path, lock.problem, removal, removalAdvice(lock.path)));
    }
    case LockFile::State::Foreign:
        throw Failure(QStringLiteral("%1 cannot be opened: %2 stands where its lock file goes, "
                                     "and it is %3, not a lock file: someone put it there. %4")
                          .arg(port, lock.path, lock.problem, removalAdvice(lock.path)));
    }
}

} // namespace

Failure inUseFailure(const QString &port, const QString &holder, qint64 pid)
{
    QString by = QStringLiteral("another program");
    if (pid > 0)
        by = holder.isEmpty() ? QStringLiteral("process %1").arg(pid)
                              : QStringLiteral("%1, process %2").arg(holder).arg(pid);
    return Failure(QStringLiteral("%1 is in use by %2. Close that program, or choose another "
                                  "port.")
                       .arg(port, by));
}

QString clearWayForLockFile(const QString &port, const QString &device)
{
    const QString path = lockFilePath(device);
    if (path.isEmpty())
        throw Failure(QStringLiteral("%1 cannot be opened: there is no lock directory you may "
                                     "write to (%2). Ask an administrator to let every user "
                                     "write to /var/lock (mode 1777, as Debian has it), then "
                                     "open the port again.")
                          .arg(port, QStringList(kLockDirectories.begin(), kLockDirectories.end())
                                         .join(QStringLiteral(", "))));
    throwIfLocked(port, examineLockFile(path, true));
    return path;
}

Failure unavailableSettingsFailure(const QString &port, const QString &settings, const QString &why)
{
    return Failure(
        QStringLiteral("%1 cannot take the line settings \"%2\"%3").arg(port, settings, why));
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
        const QString device = lockedDevice(devicePath);
        if (const QString why = deviceAccessProblem(device); !why.isEmpty())
            throw Failure(
                QStringLiteral("%1 cannot be opened: permission denied. %2").arg(name, why));
        // Something got in the lock file's way after the look before the open.
        clearWayForLockFile(name, device);
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
