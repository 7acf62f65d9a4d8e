// Linux. A port of vantrel to another system replaces this file.

#include "systemfiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace
{

// Why a file of this type is no ports file; empty for a regular file.
QString notRegular(const struct stat &status)
{
    if (S_ISREG(status.st_mode))
        return {};
    if (S_ISDIR(status.st_mode))
        return QStringLiteral("is a directory, not a file");
    if (S_ISFIFO(status.st_mode))
        return QStringLiteral("is a FIFO, not a regular file");
    return QStringLiteral("is a device or socket, not a regular file");
}

QString unreadable()
{
    return QStringLiteral("cannot be read (%1)").arg(QString::fromLocal8Bit(std::strerror(errno)));
}

QString tooLarge(qint64 limit)
{
    return QStringLiteral("is larger than %1 KiB").arg(limit / 1024);
}

} // namespace

namespace SystemFiles
{

SmallFile readSmallFile(const QString &path, qint64 limit)
{
    const QByteArray name = QFile::encodeName(path);
    struct stat status {
    };
    if (::stat(name.constData(), &status) != 0)
        return errno == ENOENT || errno == ENOTDIR ? SmallFile{}
                                                   : SmallFile{true, {}, unreadable()};
    // Looked at before the open: opening a FIFO can wait for a writer, and opening a device acts
    // on it.
    if (const QString why = notRegular(status); !why.isEmpty())
        return {true, {}, why};
    const int file = ::open(name.constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (file < 0)
        return {true, {}, unreadable()};
    SmallFile result{true, {}, {}};
    // Looked at again on what was opened, in case the file was replaced in between.
    if (::fstat(file, &status) != 0)
        result.problem = unreadable();
    else if (const QString why = notRegular(status); !why.isEmpty())
        result.problem = why;
    else if (status.st_size > limit)
        result.problem = tooLarge(limit);
    while (result.problem.isEmpty() && result.bytes.size() <= limit) {
        char chunk[16 * 1024];
        const ssize_t count = ::read(file, chunk, sizeof chunk);
        if (count < 0 && errno == EINTR)
            continue;
        if (count < 0)
            result.problem = unreadable();
        if (count <= 0)
            break;
        result.bytes.append(chunk, count);
    }
    ::close(file);
    // A file that grew while it was read.
    if (result.problem.isEmpty() && result.bytes.size() > limit)
        result.problem = tooLarge(limit);
    if (!result.problem.isEmpty())
        result.bytes.clear();
    return result;
}

DeviceState deviceState(const QString &path, const QString &sysfs)
{
    struct stat status {
    };
    if (::stat(QFile::encodeName(path).constData(), &status) != 0)
        // A folder on the way that may not be searched: opening the device will say so.
        return errno == EACCES ? DeviceState::Present : DeviceState::Missing;
    if (!S_ISCHR(status.st_mode))
        return DeviceState::NotSerial;
    // The kernel's entry for the device number; pseudo-terminals have none.
    const QDir device(QStringLiteral("%1/dev/char/%2:%3")
                          .arg(sysfs)
                          .arg(major(status.st_rdev))
                          .arg(minor(status.st_rdev)));
    const QFileInfo subsystem(device.filePath(QStringLiteral("subsystem")));
    if (!subsystem.exists())
        return DeviceState::Present;
    if (QFileInfo(subsystem.canonicalFilePath()).fileName() != QLatin1String("tty"))
        return DeviceState::NotSerial;
    // The serial core gives each port a type; 0 (PORT_UNKNOWN) means no UART answered when the
    // port was probed, and opening it fails with EIO.
    QFile type(device.filePath(QStringLiteral("type")));
    if (type.open(QIODevice::ReadOnly) && type.readAll().trimmed() == "0")
        return DeviceState::NoHardware;
    return DeviceState::Present;
}

bool isTerminal(const QString &path)
{
    const int device =
        ::open(QFile::encodeName(path).constData(), O_RDWR | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (device < 0)
        return true;
    const bool terminal = ::isatty(device) == 1;
    ::close(device);
    return terminal;
}

} // namespace SystemFiles
