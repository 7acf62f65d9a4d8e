#pragma once

#include <QString>
#include <QStringList>

#include <array>
#include <optional>

// QSerialPort marks a device it opens with a lock file, "LCK.." followed by the device's name
// below /dev with "/" written as "_", in the first usable of these directories, tried in order.
inline constexpr std::array<const char *, 8> kLockDirectories{
    "/var/lock", "/etc/locks", "/var/spool/locks",  "/var/spool/uucp",
    "/tmp",      "/var/tmp",   "/var/lock/lockdev", "/run/lock"};

// "LCK..ttyUSB0" for /dev/ttyUSB0.
QString lockFileName(const QString &devicePath);

// The places the device's lock file can be, in the order of kLockDirectories.
QStringList lockFileCandidates(const QString &devicePath);

// A lock file for the device whose first line, as QLockFile writes it, names a process that
// no longer exists: one left by a program that was killed or crashed.
struct StaleLockFile {
    QString path;
    qint64 pid = 0;
};
std::optional<StaleLockFile> staleLockFile(const QString &devicePath);
