#include "portchoicebox.h"

#include "portmap.h"

#include <QEvent>

void PortChoiceBox::describeEntries()
{
    // Entry i is COM(i+1), whatever its text says.
    const QList<PortMapping> mappings = mapPorts(count());
    for (int i = 0; i < count(); ++i)
        setItemData(i, mappings[i].summary(), Qt::ToolTipRole);
    const int current = currentIndex();
    setToolTip(current >= 0 ? itemData(current, Qt::ToolTipRole).toString() : QString());
}

void PortChoiceBox::showPopup()
{
    describeEntries();
    QComboBox::showPopup();
}

bool PortChoiceBox::event(QEvent *event)
{
    if (event->type() == QEvent::ToolTip)
        describeEntries();
    return QComboBox::event(event);
}
