#include "deviceaccess.h"

#include <QFile>

#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <vector>

namespace
{

QString userName(uid_t uid)
{
    const passwd *user = ::getpwuid(uid);
    return user ? QString::fromLocal8Bit(user->pw_name) : QString::number(uid);
}

QString groupName(gid_t gid)
{
    const group *entry = ::getgrgid(gid);
    return entry ? QString::fromLocal8Bit(entry->gr_name) : QString::number(gid);
}

// "rw-rw----", as ls shows it.
QString modeText(mode_t mode)
{
    QString text;
    for (const auto &[bit, letter] : {std::pair{S_IRUSR, 'r'},
                                      {S_IWUSR, 'w'},
                                      {S_IXUSR, 'x'},
                                      {S_IRGRP, 'r'},
                                      {S_IWGRP, 'w'},
                                      {S_IXGRP, 'x'},
                                      {S_IROTH, 'r'},
                                      {S_IWOTH, 'w'},
                                      {S_IXOTH, 'x'}})
        text += QLatin1Char((mode & bit) ? letter : '-');
    return text;
}

bool inThisSession(gid_t gid)
{
    std::vector<gid_t> groups(::getgroups(0, nullptr) + 1);
    groups.resize(std::max(0, ::getgroups(static_cast<int>(groups.size()), groups.data())));
    return ::getegid() == gid || std::find(groups.begin(), groups.end(), gid) != groups.end();
}

// The user's groups as a new login gets them.
bool inGroupFile(uid_t uid, gid_t gid)
{
    const passwd *user = ::getpwuid(uid);
    if (!user)
        return false;
    int count = 64;
    std::vector<gid_t> groups(count);
    if (::getgrouplist(user->pw_name, user->pw_gid, groups.data(), &count) < 0) {
        groups.resize(count);
        ::getgrouplist(user->pw_name, user->pw_gid, groups.data(), &count);
    }
    groups.resize(count);
    return std::find(groups.begin(), groups.end(), gid) != groups.end();
}

} // namespace

QString deviceAccessProblem(const QString &device)
{
    const QByteArray path = QFile::encodeName(device);
    struct stat info = {};
    if (::access(path.constData(), R_OK | W_OK) == 0 || ::stat(path.constData(), &info) != 0)
        return {};
    const QString group = groupName(info.st_gid);
    const QString me = userName(::geteuid());
    const QString about = QStringLiteral("%1 belongs to user %2 and group %3, with mode %4")
                              .arg(device, userName(info.st_uid), group, modeText(info.st_mode));
    if ((info.st_mode & (S_IRGRP | S_IWGRP)) != (S_IRGRP | S_IWGRP))
        return QStringLiteral("%1: only %2 may use it, and joining a group does not help. Ask an "
                              "administrator to let its group read and write it (for a USB "
                              "adapter, a udev rule with MODE=\"0660\").")
            .arg(about, userName(info.st_uid));
    if (inThisSession(info.st_gid))
        return QStringLiteral("%1, and you (%2) are in group %3, yet the system refuses: ask an "
                              "administrator (an access list or a security policy may forbid "
                              "it).")
            .arg(about, me, group);
    if (inGroupFile(::geteuid(), info.st_gid))
        return QStringLiteral("%1. You (%2) were added to group %3 after you logged in: log out "
                              "and in again, then open the port again.")
            .arg(about, me, group);
    return QStringLiteral("%1. You (%2) are not in group %3: add your user to it (sudo usermod "
                          "-aG %3 %2), then log out and in again.")
        .arg(about, me, group);
}
