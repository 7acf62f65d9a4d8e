#pragma once

#include <QString>
#include <QStringList>

#include <optional>

// What vantrel-send was asked to do, from its command line.
struct SendOptions {
    // COMn, mapped like the window's port list, unless a device path is given.
    qint16 comPort = 1;
    QString devicePath;
    QString settings = QStringLiteral("9600,N,8,1");
    QString timeOut = QStringLiteral("500");
    std::optional<qint16> unit;
    bool handshake = true;
    bool json = false;
    bool timestamp = false;
    bool stopOnNoReply = false;
    bool listPorts = false;
    bool help = false;
    bool version = false;
    QStringList commands;
};

// Throws Failure, ending in a pointer to --help, for an unknown option, a missing value, a port
// that is neither COMn nor a path, or a unit that is not a number.
SendOptions parseSendOptions(const QStringList &arguments);

// Usage, one line per option and the exit statuses: one screen.
QString sendHelpText();
