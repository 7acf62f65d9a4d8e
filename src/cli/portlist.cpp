#include "portlist.h"

#include "portmap.h"
#include "serialdevices.h"

#include <QStringList>

QString portList()
{
    QStringList lines;
    for (const PortMapping &mapping : mapPorts(kComPorts))
        lines.append(mapping.summary());
    const QList<SerialDevice> devices = serialDevices();
    lines.append(devices.isEmpty() ? QStringLiteral("Serial devices: none reported by this system")
                                   : QStringLiteral("Serial devices:"));
    for (const SerialDevice &device : devices)
        lines.append(QStringLiteral("  ") + device.summary());
    return lines.join(u'\n') + u'\n';
}
