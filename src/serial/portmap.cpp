#include "portmap.h"

#include "portsfile.h"
#include "systemfiles.h"

#include <QDir>

#include <optional>

namespace
{

const QString kPortsFile = QStringLiteral("vantrel/ports.conf");

QString environmentVariable(int port)
{
    return QStringLiteral("VANTREL_COM%1").arg(port);
}

QString xdgDirectory(const char *variable, const QString &fallback)
{
    const QString value = qEnvironmentVariable(variable);
    return value.isEmpty() ? fallback : value;
}

QString platformDevice(int port)
{
#ifdef Q_OS_WIN
    return QStringLiteral("COM%1").arg(port);
#else
    return QStringLiteral("/dev/ttyS%1").arg(port - 1);
#endif
}

QList<PortsFile> readPortsFiles()
{
    QList<PortsFile> files;
    for (const QString &file : portsFiles())
        files.append(PortsFile::read(file));
    return files;
}

QString stateText(SystemFiles::DeviceState state)
{
    switch (state) {
    case SystemFiles::DeviceState::Missing:
        return QStringLiteral("not present");
    case SystemFiles::DeviceState::NotSerial:
        return QStringLiteral("not a serial device");
    case SystemFiles::DeviceState::NoHardware:
        return QStringLiteral("no serial hardware answers");
    case SystemFiles::DeviceState::Present:
        break;
    }
    return QStringLiteral("present");
}

PortMapping mapPort(int port, const QList<PortsFile> &files)
{
    PortMapping mapping;
    mapping.port = port;
    const QString variable = environmentVariable(port);
    const QString fromEnvironment = qEnvironmentVariable(qPrintable(variable));
    if (!fromEnvironment.isEmpty()) {
        mapping.device = fromEnvironment;
        mapping.source = PortMapping::Source::Environment;
        mapping.origin = variable;
        return mapping;
    }
    for (const PortsFile &file : files) {
        const std::optional<PortsFile::Entry> entry = file.entry(port);
        if (!entry)
            continue;
        mapping.source = PortMapping::Source::PortsFile;
        mapping.origin = entry->line > 0
                             ? QStringLiteral("%1, line %2").arg(file.path()).arg(entry->line)
                             : file.path();
        mapping.device = entry->device;
        mapping.problem = entry->problem;
        return mapping;
    }
    mapping.device = platformDevice(port);
    return mapping;
}

} // namespace

QString PortMapping::description() const
{
    if (source == Source::Path)
        return device;
    return QStringLiteral("COM%1 (%2)")
        .arg(port)
        .arg(device.isEmpty() ? QStringLiteral("?") : device);
}

QString PortMapping::summary() const
{
    if (!problem.isEmpty())
        return QStringLiteral("COM%1: cannot be used: %2").arg(port).arg(problem);
    const QString from = origin.isEmpty() ? QString() : QStringLiteral(" (from %1)").arg(origin);
    return QStringLiteral("COM%1: %2%3, %4")
        .arg(port)
        .arg(device, from, stateText(SystemFiles::deviceState(device)));
}

PortMapping pathMapping(const QString &device)
{
    PortMapping mapping;
    mapping.device = device;
    mapping.source = PortMapping::Source::Path;
    return mapping;
}

QStringList portsFiles()
{
    QStringList files{
        QDir(xdgDirectory("XDG_CONFIG_HOME", QDir::homePath() + "/.config")).filePath(kPortsFile)};
    for (const QString &dir : xdgDirectory("XDG_CONFIG_DIRS", QStringLiteral("/etc/xdg"))
                                  .split(u':', Qt::SkipEmptyParts))
        files.append(QDir(dir).filePath(kPortsFile));
    return files;
}

QString portsFileLine(int port, const QString &device)
{
    return QStringLiteral("COM%1=%2").arg(port).arg(device);
}

PortMapping mapPort(int port)
{
    return mapPort(port, readPortsFiles());
}

QList<PortMapping> mapPorts(int count)
{
    const QList<PortsFile> files = readPortsFiles();
    QList<PortMapping> mappings;
    for (int port = 1; port <= count; ++port)
        mappings.append(mapPort(port, files));
    return mappings;
}
