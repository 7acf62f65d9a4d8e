#pragma once

#include <QList>
#include <QString>
#include <QStringList>

// The ports the window offers and vantrel-send --list-ports lists: COM1 to COM6.
inline constexpr int kComPorts = 6;

// Which device stands behind a COM number, and where that came from. vantrel assigns COM
// numbers itself, in this order: the environment variable VANTREL_COMn, the first ports file
// that says anything about COMn (portsfile.h), the platform's own n-th serial port.
struct PortMapping {
    enum class Source { Environment, PortsFile, Default, Path };

    int port = 0;
    QString device;
    Source source = Source::Default;
    // The variable or the file and line the mapping came from; empty for the default.
    QString origin;
    // Why the mapping cannot be used (a ports file or an entry that cannot be); empty when it
    // can.
    QString problem;

    // "COM3 (/dev/ttyUSB0)"; a device given by its path is just the path.
    QString description() const;
    // "COM3: /dev/ttyUSB0 (from VANTREL_COM3), present" (or "not present", "not a serial
    // device", "no serial hardware answers"), or why COM3 cannot be used: what the operator is
    // shown of it.
    QString summary() const;
};

// Reads the environment and the ports files afresh, so an edit counts at the next open.
PortMapping mapPort(int port);

// COM1 to COMcount, the ports files read once for all of them.
QList<PortMapping> mapPorts(int count);

// A device given by its path rather than as COMn; its port number is 0.
PortMapping pathMapping(const QString &device);

// The ports files in the order they are read: $XDG_CONFIG_HOME/vantrel/ports.conf (default
// ~/.config), then vantrel/ports.conf under each of $XDG_CONFIG_DIRS (default /etc/xdg).
QStringList portsFiles();

// The line that maps COMn to device in the [ports] section of a ports file.
QString portsFileLine(int port, const QString &device);
