#pragma once

#include <QList>
#include <QString>
#include <optional>

class MSComm;

// A list box whose text is none of its entries, as the operator typed it: "Baud Rate" holds
// "abc", its entries "1200, 2400, ...".
struct TypedText {
    QString box;
    QString text;
    QString entries;
};

// What the window offers for an open: the texts of the selected entries of its settings lists
// and the selected position (from 0, -1 for none) of its port list; and, for the words of a
// refusal only, what the boxes without a selected entry hold.
struct PortChoices {
    QString baud;
    QString parity;
    QString dataBits;
    QString stopBits;
    int portPosition = -1;
    QList<TypedText> unlistedSettings;
    std::optional<TypedText> unlistedPort;
};

class PortChoiceSource
{
public:
    virtual ~PortChoiceSource() = default;
    virtual PortChoices portChoices() const = 0;
};

// "9600,N,8,1": the entry texts as they stand, of the parity only its first character.
QString settingsString(const PortChoices &choices);

// "COM 1: Open at 9600,N,8,1".
QString openAtLine(qint16 port, const QString &settings);

// The port half of Open Port: when the port is closed, sets Settings, then CommPort, then opens,
// and returns the Open-at line built from what the port reports afterwards. Returns nothing,
// and reads nothing from the window, when the port is already open. Throws Failure at the step
// that fails; a refusal of the settings or the port number says what the operator typed.
std::optional<QString> openPortSteps(MSComm &port, const PortChoiceSource &window);

// The port half of Close Port: true when it closed the port, false when it was closed already.
bool closePortSteps(MSComm &port);
