#include "portsteps.h"

#include "failure.h"
#include "mscomm.h"
#include "portmap.h"

namespace
{

QString unlisted(const TypedText &box)
{
    return QStringLiteral("%1 holds \"%2\", which is not one of its entries (%3)")
        .arg(box.box, box.text, box.entries);
}

} // namespace

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
    // The port object's refusal sees only the empty field where a box holds no entry.
    try {
        port.setSettings(settingsString(choices));
    } catch (const Failure &refusal) {
        QStringList words{refusal.message()};
        for (const TypedText &box : choices.unlistedSettings)
            words.append(unlisted(box) + u'.');
        throw Failure(words.join(u' '));
    }
    try {
        port.setCommPort(static_cast<qint16>(choices.portPosition + 1));
    } catch (const Failure &) {
        if (!choices.unlistedPort)
            throw;
        // Port number 0 would mean nothing to the operator, who typed a name.
        throw Failure(QStringLiteral("%1: only these ports can be chosen. A device is given one "
                                     "of their names in the ports file, %2.")
                          .arg(unlisted(*choices.unlistedPort), portsFiles().value(0)));
    }
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
