#pragma once

#include <QFile>
#include <QProcess>
#include <QTemporaryFile>
#include <QtGlobal>

#include <grp.h>
#include <map>
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
//   tech.handOver(terminal.slavePath());     // root:dialout rw-rw----, as /dev/ttyS0 is
//   tech.start(process, VANTREL_SEND, {"-p", device, "RD"});
//   if (const auto other = OrdinaryUser::other())
//       other->run("mkfifo /run/lock/LCK..pts_3");
//
// The program sees the test's environment with HOME, USER and LOGNAME of the user, no
// XDG_RUNTIME_DIR, and XAUTHORITY pointing to a copy the user may read (under xvfb-run).
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
        if (::geteuid() != 0)
            return {QString::fromLocal8Bit(::getpwuid(::geteuid())->pw_name), ::geteuid(),
                    ::getegid(), false};
        if (const auto user = named("vantrel-tech"))
            return *user;
        qFatal("no user vantrel-tech: run the test through CTest, whose fixture "
               "tests/tools/ordinary-users.sh makes it");
    }

    static std::optional<OrdinaryUser> other()
    {
        return ::geteuid() == 0 ? named("vantrel-other") : std::nullopt;
    }

    // The command that runs programAndArguments as this user, for QProcess or to wrap further.
    QStringList command(const QStringList &programAndArguments, Groups groups = Groups::Login) const
    {
        if (!switched)
            return programAndArguments;
        QStringList line{"setpriv",
                         "--reuid=" + QString::number(uid),
                         "--regid=" + QString::number(gid),
                         groups == Groups::Login ? "--init-groups" : "--clear-groups",
                         "env",
                         "-u",
                         "XDG_RUNTIME_DIR",
                         "HOME=/nonexistent",
                         "USER=" + name,
                         "LOGNAME=" + name};
        if (const QString authority = xAuthorityCopy(); !authority.isEmpty())
            line << "XAUTHORITY=" + authority;
        return line + programAndArguments;
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
        if (!switched)
            return;
        const group *dialout = ::getgrnam("dialout");
        if (!dialout || ::chown(qPrintable(device), 0, dialout->gr_gid) != 0 ||
            ::chmod(qPrintable(device), 0660) != 0)
            qFatal("cannot hand %s over to group dialout", qPrintable(device));
    }

private:
    static std::optional<OrdinaryUser> named(const char *name)
    {
        const passwd *entry = ::getpwnam(name);
        if (!entry)
            return std::nullopt;
        return OrdinaryUser{QString::fromLatin1(name), entry->pw_uid, entry->pw_gid, true};
    }

    // The X server's cookie (xvfb-run keeps it in a folder only root may enter), copied to a
    // file this user owns; empty without an X server. A failed copy shows as a refused
    // connection.
    QString xAuthorityCopy() const
    {
        static std::map<uid_t, QTemporaryFile> copies;
        QFile original(qEnvironmentVariable("XAUTHORITY"));
        QTemporaryFile &copy = copies[uid];
        if (original.fileName().isEmpty() || copy.isOpen())
            return copy.fileName();
        if (!original.open(QIODevice::ReadOnly) || !copy.open() ||
            copy.write(original.readAll()) < 0 || !copy.flush() ||
            ::fchown(copy.handle(), uid, gid) != 0)
            qWarning("cannot copy %s for %s", qPrintable(original.fileName()), qPrintable(name));
        return copy.fileName();
    }
};
