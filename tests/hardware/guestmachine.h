#pragma once

#include "hostcontroller.h"
#include "hostline.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>

// A virtual machine, booted once, that runs this build's programs on the Debian kernel's own
// serial drivers: the 8250 driver on a 16550 UART (/dev/ttyS1) and ftdi_sio on a USB adapter
// (/dev/ttyUSB0), each wired to a HostController. The guest sees the host's root read-only,
// build folder included; it runs the host's commands on its console and asks, by a line
// "@@unplug" or "@@replug" there, for the adapter to be pulled out or plugged back.
class GuestMachine
{
public:
    GuestMachine();
    ~GuestMachine();

    // Boots and returns an empty string, or says why the machine cannot run.
    QString boot();

    struct Result {
        int status = -1; // -1: no end within the bound
        QString output;
    };
    // Runs one shell line in the guest as root, as long as it takes up to boundMs, serving the
    // guest's and the controller's requests to unplug and replug the adapter meanwhile.
    Result run(const QString &command, int boundMs = 60000);

    // Plugs the adapter back, if it is out, and waits for its by-id name in the guest.
    void plugBack();
    // Since the adapter was last unplugged.
    qint64 msecsSinceUnplug() const { return sinceUnplug_.elapsed(); }

    // The settings the guest's driver last gave the UART or the USB adapter, as QEMU traced
    // them, in the order of a settings string; the rate is what the device's divisor gives.
    QStringList traced(bool onAdapter) const;

    HostController uart;
    HostController adapter;

private:
    bool qmp(const QByteArray &execute, const QByteArray &arguments = "{}");
    void unplug();
    void replug();
    void takeConsole(const QByteArray &bytes);

    QProcess qemu_;
    QTemporaryDir directory_;
    HostLine console_{[this](const QByteArray &bytes) { takeConsole(bytes); }};
    QString consoleText_;
    qsizetype scanned_ = 0;
    QStringList requests_;
    QByteArray qmpText_;
    int commands_ = 0;
    bool plugged_ = true;
    QElapsedTimer sinceUnplug_;
};
