#include "openfailure.h"

#include "deviceaccess.h"
#include "portlockfile.h"
#include "portmap.h"
#include "serialdevices.h"

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
        const QString device = lockedDevice(devicePath);
        if (const QString why = deviceAccessProblem(device); !why.isEmpty())
            throw Failure(
                QStringLiteral("%1 cannot be opened: permission denied. %2").arg(name, why));
        // Something got in the lock file's way after the look before the open.
        clearWayForLockFile(name, device);
        throw inUseFailure(name);
    }
    case QSerialPort::UnsupportedOperationError:
        throw unavailableSettingsFailure(
            name, settings, QStringLiteral(" (%1). Choose other settings.").arg(detail));
    default:
        throw Failure(QStringLiteral("%1 cannot be opened: %2.").arg(name, detail));
    }
}
