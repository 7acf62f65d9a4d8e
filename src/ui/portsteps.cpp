#include "portsteps.h"

#include "mscomm.h"

QString settingsString(const PortChoices &choices)
{
    return QStringList{choices.baud, choices.parity.left(1), choices.dataBits, choices.stopBits}
        .join(QLatin1Char(','));
}

QString openAtLine(qint16 port, const QString &settings)
{
    return QStringLiteral("COM %1: Open at %2").arg(port).arg(settings);
}

std::optional<QString> openPortSteps(MSComm &port, const PortChoiceSource &window)
{
    if (port.PortOpen())
        return std::nullopt;
    const PortChoices choices = window.portChoices();
    port.setSettings(settingsString(choices));
    port.setCommPort(static_cast<qint16>(choices.portPosition + 1));
    port.setPortOpen(true);
    const qint16 opened = port.CommPort();
    return openAtLine(opened, port.Settings());
}

bool closePortSteps(MSComm &port)
{
    if (!port.PortOpen())
        return false;
    port.setPortOpen(false);
    return true;
}
