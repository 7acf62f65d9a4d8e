#pragma once

#include <QByteArray>
#include <QString>

// What the operating system says about a file or a device before anything is opened: the ports
// file read without waiting on it, and what stands at a device path. Everything that differs from
// one operating system to the next here lives behind these calls.
namespace SystemFiles
{

// A small file read whole, or why it cannot be: `problem` follows the path in a sentence ("is a
// FIFO, not a regular file"). A file that does not exist is no problem: `exists` is false.
struct SmallFile {
    bool exists = false;
    QByteArray bytes;
    QString problem;
};

// Reads a regular file of at most `limit` bytes. Never waits: a FIFO, a device or a directory is
// refused unopened, and nothing past limit + 1 bytes is read.
SmallFile readSmallFile(const QString &path, qint64 limit);

enum class DeviceState {
    Missing,
    // A regular file, a FIFO, a directory, or a device of another kind (/dev/null).
    NotSerial,
    // A serial port node with no hardware behind it: most PCs have /dev/ttyS0 to /dev/ttyS3
    // whether or not they have a UART for each.
    NoHardware,
    // A terminal device, or one the system says nothing about: opening it will tell.
    Present,
};

// Decided without opening the device, from its node and what `sysfs` says about it (the root
// is a parameter so that a test can stand in for the kernel).
DeviceState deviceState(const QString &path, const QString &sysfs = QStringLiteral("/sys"));

// Whether the path opens as a terminal; asked only after opening it as a serial port failed.
bool isTerminal(const QString &path);

} // namespace SystemFiles
