#include "portmap.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

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

// One entry of a [ports] section that concerns the port looked for: either its device, or why
// the line cannot be used.
struct PortsEntry {
    QString device;
    QString problem;
    int line = 0;
};

// Reads the [ports] section line by line rather than through QSettings: QSettings silently
// drops a line without "=" and splits a device name at its commas, and an operator who typed
// "COM3 /dev/ttyUSB0" must be told, not sent to /dev/ttyS2.
std::optional<PortsEntry> findEntry(const QString &file, int port)
{
    QFile in(file);
    if (!in.open(QIODevice::ReadOnly | QIODevice::Text))
        return std::nullopt;
    static const QRegularExpression entry(QStringLiteral(R"(^COM([1-9]\d*)\s*=\s*(.*)$)"));
    // A line that names a port, however badly, concerns only that port.
    static const QRegularExpression namesPort(QStringLiteral(R"(^\s*COM\s*0*(\d+))"),
                                              QRegularExpression::CaseInsensitiveOption);
    bool inPorts = false;
    int number = 0;
    while (!in.atEnd()) {
        ++number;
        const QString line = QString::fromUtf8(in.readLine()).trimmed();
        if (line.isEmpty() || line.startsWith(u';') || line.startsWith(u'#'))
            continue;
        if (line.startsWith(u'[')) {
            inPorts = line.compare(QStringLiteral("[ports]"), Qt::CaseInsensitive) == 0;
            continue;
        }
        if (!inPorts)
            continue;
        const QString where = QStringLiteral("%1, line %2 \"%3\"").arg(file).arg(number).arg(line);
        const QRegularExpressionMatch match = entry.match(line);
        if (!match.hasMatch()) {
            const QRegularExpressionMatch named = namesPort.match(line);
            if (!named.hasMatch() || named.captured(1).toInt() == port)
                return PortsEntry{
                    {},
                    QStringLiteral("%1 is not of the form COM%2=DEVICE").arg(where).arg(port),
                    number};
            continue;
        }
        if (match.captured(1).toInt() != port)
            continue;
        QString device = match.captured(2);
        if (device.size() >= 2 && device.startsWith(u'"') && device.endsWith(u'"'))
            device = device.mid(1, device.size() - 2);
        if (!device.startsWith(u'/'))
            return PortsEntry{{},
                              QStringLiteral("%1 does not name a device by its full path, "
                                             "such as COM%2=/dev/ttyUSB0")
                                  .arg(where)
                                  .arg(port),
                              number};
        return PortsEntry{device, {}, number};
    }
    return std::nullopt;
}

} // namespace

bool PortMapping::present() const
{
    return problem.isEmpty() && QFileInfo::exists(device);
}

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
        .arg(device, from, present() ? QStringLiteral("present") : QStringLiteral("not present"));
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
    for (const QString &file : portsFiles()) {
        const std::optional<PortsEntry> entry = findEntry(file, port);
        if (!entry)
            continue;
        mapping.source = PortMapping::Source::PortsFile;
        mapping.origin = QStringLiteral("%1, line %2").arg(file).arg(entry->line);
        mapping.device = entry->device;
        mapping.problem = entry->problem;
        return mapping;
    }
    mapping.device = platformDevice(port);
    return mapping;
}
