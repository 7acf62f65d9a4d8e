#include "portlockfile.h"

#include <QCoreApplication>
#include <QFile>

QStringList lockFileCandidates(const QString &devicePath)
{
    static const QStringList directories{QStringLiteral("/var/lock"),
                                         QStringLiteral("/etc/locks"),
                                         QStringLiteral("/var/spool/locks"),
                                         QStringLiteral("/var/spool/uucp"),
                                         QStringLiteral("/tmp"),
                                         QStringLiteral("/var/tmp"),
                                         QStringLiteral("/var/lock/lockdev"),
                                         QStringLiteral("/run/lock")};
    QString name = devicePath.startsWith(QLatin1String("/dev/")) ? devicePath.mid(5) : devicePath;
    name.replace(u'/', u'_');
    QStringList candidates;
    for (const QString &directory : directories)
        candidates.append(directory + QStringLiteral("/LCK..") + name);
    return candidates;
}

QString heldLockFile(const QString &devicePath)
{
    const QByteArray ownId = QByteArray::number(QCoreApplication::applicationPid());
    for (const QString &candidate : lockFileCandidates(devicePath)) {
        QFile file(candidate);
        if (file.open(QIODevice::ReadOnly) && file.readLine().trimmed() == ownId)
            return candidate;
    }
    return {};
}
