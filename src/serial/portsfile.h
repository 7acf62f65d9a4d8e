#pragma once

#include <QByteArray>
#include <QHash>
#include <QString>

#include <optional>

// One ports file as read at one moment: what it says about each port. The format:
// - UTF-8 lines; blank lines and lines that begin with ";" or "#" are comments.
// - "[name]" begins a section; only the [ports] section maps ports.
// - In it, "COMn=DEVICE" maps COMn to DEVICE, a full path. Blanks around "=" and the device do
//   not count; a "#" or ";" that follows a blank begins a comment; a device in double quotes is
//   taken as it stands.
// - Every other line in [ports] is refused: one that names COMn refuses COMn, one that names no
//   port refuses the ports without a line of their own.
// - Two lines that map one port to different devices refuse it: neither is taken on trust.
// - A line for COMn outside any section, or anywhere in a file without a [ports] section,
//   refuses COMn rather than leaving it to the default.
// - A device path with a control character (a NUL, say) is refused.
// - A file that cannot be used as a whole (not a regular file, larger than 64 KiB, unreadable)
//   refuses every port it might have mapped.
class PortsFile
{
public:
    static constexpr qint64 kMaxSize = 64 * 1024;

    // What the file says about one port: the device and its line, or why the port is refused.
    struct Entry {
        int line = 0; // 0 for the file as a whole
        QString device;
        QString problem;
    };

    // Reads the file without waiting on it; a missing file says nothing about any port.
    static PortsFile read(const QString &path);
    static PortsFile parse(const QString &path, const QByteArray &text);

    const QString &path() const { return path_; }
    // Nothing when the file leaves the port to the next file or the default.
    std::optional<Entry> entry(int port) const;

private:
    QString path_;
    QString problem_;
    QHash<int, Entry> entries_;
    // The first line of [ports] that names no port.
    std::optional<Entry> unnamed_;
};
