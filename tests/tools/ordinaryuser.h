#pragma once

#include <QProcess>

#include <grp.h>
#include <optional>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

// Programs run as an ordinary user, for the tests about permissions, lock files, planted files
// and stop signals: root ignores a device's exclusive flag, file modes and the sticky bit of
// /tmp and /run/lock, so what a technician meets shows only without root.
//
// As root (here and in CI) two users stand in, made by tests/tools/ordinary-users.sh, which
// CTest runs first for every test with FIXTURES_REQUIRED ordinary_users:
//   vantrel-tech   a technician in the dialout group; runs the programs under test
//   vantrel-other  a second user, who plants files in the shared directories
// As anyone else (a developer's own account) the programs run as that account unchanged, and
// there is no second user: other() is empty and a test that needs one skips.
//
//   const OrdinaryUser tech = OrdinaryUser::technician();
//   tech.handOver(device);                     // root:dialout rw-rw----, as /dev/ttyS0 is
//   tech.start(process, VANTREL_SEND, {"-p", device, "RD"});
//   if (const auto other = OrdinaryUser::other())
//       other->run("mkfifo /run/lock/LCK..pts_3");
//
// The program sees the test's environment with HOME, USER and LOGNAME of the user and no
// XDG_RUNTIME_DIR or XAUTHORITY: a window it shows needs an X server without access control
// (the fault suite runs Xvfb with -ac), as the X server's cookie is root's alone.
struct OrdinaryUser {
    // The supplementary groups: those of a fresh login, or none, as in a session that began
    // before the user was added to a group.
    enum class Groups { Login, None };

    QString name;
    uid_t uid = 0;
    gid_t gid = 0;
    bool switched = false; // false: the user running the tests

    static OrdinaryUser technician()
    {
        const bool root = ::geteuid() == 0;
        const passwd *user = root ? ::getpwnam("vantrel-tech") : ::getpwuid(::geteuid());
        if (!user)
            qFatal("no user vantrel-tech: run the test through CTest, whose fixture "
                   "tests/tools/ordinary-users.sh makes it");
        return {user->pw_name, user->pw_uid, user->pw_gid, root};
    }

    static std::optional<OrdinaryUser> other()
    {
        const passwd *user = ::geteuid() == 0 ? ::getpwnam("vantrel-other") : nullptr;
        return user ? std::optional<OrdinaryUser>({user->pw_name, user->pw_uid, user->pw_gid, true})
                    : std::nullopt;
    }

    // The command that runs programAndArguments as this user, for QProcess or to wrap further.
    QStringList command(const QStringList &programAndArguments, Groups groups = Groups::Login) const
    {
        if (!switched)
            return programAndArguments;
        return QStringLiteral("setpriv --reuid=%1 --regid=%2 --%3-groups env -u XDG_RUNTIME_DIR "
                              "-u XAUTHORITY HOME=/nonexistent USER=%4 LOGNAME=%4")
                   .arg(QString::number(uid), QString::number(gid),
                        groups == Groups::Login ? "init" : "clear", name)
                   .split(' ') +
               programAndArguments;
    }

    void start(QProcess &process, const QString &program, const QStringList &arguments = {},
               Groups groups = Groups::Login) const
    {
        const QStringList line = command(QStringList{program} + arguments, groups);
        process.start(line.first(), line.mid(1));
    }

    // Runs a shell command as this user and waits for it; its exit status.
    int run(const QString &shellCommand) const
    {
        const QStringList line = command({"sh", "-c", shellCommand});
        return QProcess::execute(line.first(), line.mid(1));
    }

    // Makes a device the tests made (a pseudo-terminal) one the user opens as a technician
    // opens a serial port: owned by root, group dialout, rw-rw----. As an ordinary user the
    // device is theirs already.
    void handOver(const QString &device) const
    {
        const group *dialout = ::getgrnam("dialout");
        if (switched && (!dialout || ::chown(qPrintable(device), 0, dialout->gr_gid) != 0 ||
                         ::chmod(qPrintable(device), 0660) != 0))
            qFatal("cannot hand %s over to group dialout", qPrintable(device));
    }
};
