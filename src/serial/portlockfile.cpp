#include "portlockfile.h"

#include <QFile>
#include <QFileInfo>
#include <QList>
#include <QScopeGuard>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace
{

QString kindOf(mode_t mode)
{
    if (S_ISFIFO(mode))
        return QStringLiteral("a named pipe");
    if (S_ISLNK(mode))
        return QStringLiteral("a symbolic link");
    if (S_ISDIR(mode))
        return QStringLiteral("a folder");
    if (S_ISSOCK(mode))
        return QStringLiteral("a socket");
    return QStringLiteral("a device or other special file");
}

// The name the system gives the running program of process pid; empty when it cannot be read.
QString programName(qint64 pid)
{
    QFile comm(QStringLiteral("/proc/%1/comm").arg(pid));
    return comm.open(QIODevice::ReadOnly) ? QString::fromLocal8Bit(comm.readLine().trimmed())
                                          : QString();
}

bool isRunning(qint64 pid)
{
    // EPERM: the process exists under another user.
    return ::kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM;
}

// Says what is wrong with the file's text (QLockFile's lines: process id, program name, host);
// nothing when it names a program that runs, which it then fills in as the holder.
QString judge(LockFile &lock, const QByteArray &text)
{
    if (text.trimmed().isEmpty())
        return QStringLiteral("is empty");
    const QList<QByteArray> lines = text.split('\n');
    bool isNumber = false;
    const qint64 pid = lines[0].trimmed().toLongLong(&isNumber);
    if (!isNumber || pid <= 0)
        return QStringLiteral("does not name a process");
    if (!isRunning(pid))
        return QStringLiteral("was left behind by process %1, which no longer exists").arg(pid);
    const QString maker = QFileInfo(QString::fromLocal8Bit(lines.value(1).trimmed())).fileName();
    const QString running = programName(pid);
    lock.pid = pid;
    lock.holder = running.isEmpty() ? maker : running;
    if (pid == ::getpid())
        return QStringLiteral("names process %1, this program, which did not make it").arg(pid);
    // The system keeps only the first 15 characters of a program's name.
    if (!maker.isEmpty() && !running.isEmpty() && maker.left(15) != running)
        return QStringLiteral("names process %1, which is now %2, not %3 that made it")
            .arg(pid)
            .arg(running, maker);
    return {};
}

} // namespace

QString lockedDevice(const QString &path)
{
    const QString device = QFileInfo(path).canonicalFilePath();
    return device.isEmpty() ? path : device;
}

QString lockFileName(const QString &device)
{
    QString name = device.startsWith(QLatin1String("/dev/")) ? device.mid(5) : device;
    name.replace(u'/', u'_');
    return QStringLiteral("LCK..") + name;
}

QString lockFilePath(const QString &device)
{
    for (const char *directory : kLockDirectories) {
        const QFileInfo folder(QString::fromLatin1(directory));
        const QString path = folder.filePath() + u'/' + lockFileName(device);
        if (folder.isReadable() && (QFile::exists(path) || folder.isWritable()))
            return path;
    }
    return {};
}

LockFile examineLockFile(const QString &path, bool removeStale)
{
    const QByteArray name = QFile::encodeName(path);
    LockFile lock;
    lock.path = path;
    const auto found = [&lock](LockFile::State state, const QString &problem) {
        lock.state = state;
        lock.problem = problem;
        return lock;
    };
    const auto unreadable = [&] {
        return errno == ENOENT ? lock
                               : found(LockFile::State::Stale,
                                       QStringLiteral("cannot be read (%1)")
                                           .arg(QString::fromLocal8Bit(std::strerror(errno))));
    };
    struct stat file = {};
    if (::lstat(name.constData(), &file) != 0)
        return unreadable();
    if (!S_ISREG(file.st_mode))
        return found(LockFile::State::Foreign, kindOf(file.st_mode));
    const int fd = ::open(name.constData(), O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        return unreadable();
    const auto closing = qScopeGuard([fd] { ::close(fd); });
    if (::fstat(fd, &file) != 0 || !S_ISREG(file.st_mode))
        return found(LockFile::State::Foreign, kindOf(file.st_mode));
    char text[256];
    const ssize_t count = ::read(fd, text, sizeof text);
    const QString problem = judge(lock, QByteArray(text, std::max<ssize_t>(count, 0)));
    if (problem.isEmpty())
        return found(LockFile::State::Held, {});
    // A program that locks through QLockFile keeps the file locked from before it writes it
    // until it lets the port go; that lock, unlike the text, cannot outlive the program.
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0)
        return found(LockFile::State::Held, {});
    if (removeStale && ::unlink(name.constData()) != 0)
        lock.removeError = errno;
    return removeStale && lock.removeError == 0 ? found(LockFile::State::Absent, {})
                                                : found(LockFile::State::Stale, problem);
}
