#include "portlockfile.h"

#include <QFile>

#include <cerrno>
#include <csignal>

QString lockFileName(const QString &devicePath)
{
    QString name = devicePath.startsWith(QLatin1String("/dev/")) ? devicePath.mid(5) : devicePath;
    name.replace(u'/', u'_');
    return QStringLiteral("LCK..") + name;
}

QStringList lockFileCandidates(const QString &devicePath)
{
    QStringList candidates;
    for (const char *directory : kLockDirectories)
        candidates.append(QString::fromLatin1(directory) + u'/' + lockFileName(devicePath));
    return candidates;
}

std::optional<StaleLockFile> staleLockFile(const QString &devicePath)
{
    for (const QString &candidate : lockFileCandidates(devicePath)) {
        QFile file(candidate);
        if (!file.open(QIODevice::ReadOnly))
            continue;
        bool isNumber = false;
        const qint64 pid = file.readLine().trimmed().toLongLong(&isNumber);
        // EPERM means the process exists under another user: a live holder, not a stale file.
        if (isNumber && pid > 0 && ::kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH)
            return StaleLockFile{candidate, pid};
    }
    return std::nullopt;
}
