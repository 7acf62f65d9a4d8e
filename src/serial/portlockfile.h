#pragma once

#include <QString>

#include <array>

// QSerialPort marks a device it opens with a lock file, "LCK.." followed by the device's name
// below /dev with "/" written as "_", in the first of these directories that it may read and
// that either holds that file already or that it may write to. The file's first line is the
// process id, which is what other programs that honour lock files read.
inline constexpr std::array<const char *, 8> kLockDirectories{
    "/var/lock", "/etc/locks", "/var/spool/locks",  "/var/spool/uucp",
    "/tmp",      "/var/tmp",   "/var/lock/lockdev", "/run/lock"};

// The device a path leads to, links followed: a port opened as /dev/serial/by-id/usb-... is
// locked as /dev/ttyUSB0, the name other programs look for.
QString lockedDevice(const QString &path);

// "LCK..ttyUSB0" for /dev/ttyUSB0.
QString lockFileName(const QString &device);

// Where QSerialPort puts the device's lock file; empty when no lock directory can be used.
QString lockFilePath(const QString &device);

// What stands where a device's lock file goes.
struct LockFile {
    enum class State {
        Absent,
        Held,    // another program, or another port object of this one, has the port
        Stale,   // left behind: its program is gone, or it never named one
        Foreign, // not a regular file: a named pipe, a link, a folder
    };
    State state = State::Absent;
    QString path;
    qint64 pid = 0;      // the process it names; 0 for none
    QString holder;      // Held: the program's name, when known
    QString problem;     // Stale: what is wrong with it ("is empty"); Foreign: what it is
    int removeError = 0; // Stale: errno of the failed removal
};

// Looks at the lock file at path without ever blocking or following a link: anyone may put a
// named pipe or a link in a lock directory. A stale file is removed when removeStale is set and
// this user may; it is then Absent.
LockFile examineLockFile(const QString &path, bool removeStale);
