#include "serialdevices.h"

#include "portmap.h"

#include <QDir>
#include <QFileInfo>
#include <QSerialPortInfo>

#include <algorithm>

namespace
{

const QString kById = QStringLiteral("/dev/serial/by-id");
const QString kNoDevices =
    QStringLiteral("This system reports no serial devices: check that the adapter is plugged in.");

QString byIdName(const QString &path)
{
    const QString target = QFileInfo(path).canonicalFilePath();
    const QDir byId(kById);
    for (const QFileInfo &link : byId.entryInfoList(QDir::System | QDir::Files, QDir::Name))
        if (link.canonicalFilePath() == target)
            return link.absoluteFilePath();
    return {};
}

// For a device given by its path there is no COM number to map: just the devices there are.
QString devicesList(const QList<SerialDevice> &devices)
{
    if (devices.isEmpty())
        return kNoDevices;
    QStringList lines{QStringLiteral("Serial devices on this system:")};
    for (const SerialDevice &device : devices)
        lines.append(QStringLiteral("  ") + device.summary());
    return lines.join(u'\n');
}

} // namespace

QString SerialDevice::summary() const
{
    QStringList about;
    for (const QString &part : {description, manufacturer})
        if (!part.isEmpty())
            about.append(part);
    if (!serialNumber.isEmpty())
        about.append(QStringLiteral("serial %1").arg(serialNumber));
    QString text = path;
    if (!byId.isEmpty())
        text += QStringLiteral(" (%1)").arg(byId);
    if (!about.isEmpty())
        text += QStringLiteral(": ") + about.join(QStringLiteral(", "));
    return text;
}

QList<SerialDevice> serialDevices()
{
    QList<SerialDevice> devices;
    for (const QSerialPortInfo &info : QSerialPortInfo::availablePorts())
        devices.append({info.systemLocation(), byIdName(info.systemLocation()), info.description(),
                        info.manufacturer(), info.serialNumber()});
    std::sort(devices.begin(), devices.end(),
              [](const SerialDevice &a, const SerialDevice &b) { return a.path < b.path; });
    return devices;
}

QString serialDevicesAdvice(int port)
{
    const QList<SerialDevice> devices = serialDevices();
    if (port < 1)
        return devicesList(devices);
    const QString file = portsFiles().constFirst();
    if (devices.isEmpty())
        return kNoDevices + QStringLiteral(" Once it is, map COM%1 to it with a line in the "
                                           "[ports] section of %2, such as:\n%3")
                                .arg(port)
                                .arg(file, portsFileLine(port, QStringLiteral("/dev/ttyUSB0")));
    QStringList lines{QStringLiteral("Serial devices on this system, each with the line that "
                                     "makes it COM%1 in the [ports] section of %2:")
                          .arg(port)
                          .arg(file)};
    for (const SerialDevice &device : devices) {
        lines.append(QStringLiteral("  ") + device.summary());
        lines.append(QStringLiteral("    ") + portsFileLine(port, device.stableName()));
    }
    return lines.join(u'\n');
}
