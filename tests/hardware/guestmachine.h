#pragma once

#include "hostline.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>

// A virtual machine, booted once, that runs this build's programs on the Debian kernel's own
// serial drivers: the 8250 driver on a 16550 UART (/dev/ttyS1) and ftdi_sio on a USB adapter
// (/dev/ttyUSB0), each wired to a controller's HostLine. The guest sees the host's root read-only,
// build folder included; it runs the host's commands on its console and asks, by a line
// "@@unplug" or "@@replug" there, for the adapter to be pulled out or plugged back.
class GuestMachine
{
public:
    GuestMachine();
    ~GuestMachine() { qemu_.kill(), qemu_.waitForFinished(); } // QProcess warns of a running one
    // Boots and returns an empty string, or says why the machine cannot run.
    QString boot();

    struct Result {
        int status; // -1: no end within the bound
        QString output;
    };
    // Runs one shell line in the guest as root, as long as it takes up to boundMs; the lines'
    // `received` hold what came in meanwhile.
    Result run(const QString &command, int boundMs = 60000);

    // Plugs the adapter back, if it is out, and waits for its by-id name in the guest.
    void plugBack();

    HostLine uart;
    HostLine adapter;
    QElapsedTimer unplugged; // since the adapter was last pulled out

private:
    // The settings the guest's driver last gave the UART or the USB adapter, as QEMU traced
    // them, in the order of a settings string; the rate is what the device's divisor gives.
    QStringList traced(bool onAdapter) const;
    // Pulls the adapter out, or plugs it in once QEMU has let go of the line it had (until then
    // the device's name is in use). Neither waits: QEMU's answers come in through monitor_.
    void plug(bool in);

    QTemporaryDir directory_;
    HostLine console_{false};
    HostLine monitor_{false}; // QMP; its errors go to the test's log as they come
    bool deleted_ = false;    // QEMU has removed the adapter since it was last plugged in
    int commands_ = 0;
    bool plugged_ = true;
    QProcess qemu_;
};
