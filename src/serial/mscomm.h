#pragma once

#include "portmap.h"
#include "serialline.h"

#include <QObject>
#include <QSerialPort>
#include <QString>

// The serial port object of the window and of vantrel-send: a port number, a settings string
// and an open flag, with Output and Input for the exchange. Built on QSerialPort and used
// without an event loop during an exchange, so every wait here blocks on the device itself
// with a bound.
class MSComm final : public QObject, public SerialLine
{
    Q_OBJECT
public:
    explicit MSComm(QObject *parent = nullptr);
    ~MSComm() override;

    bool PortOpen() const { return open_; }
    void setPortOpen(bool open);

    qint16 CommPort() const { return commPort_; }
    void setCommPort(qint16 port);

    // Opens this device rather than the one CommPort maps to; an empty path maps CommPort again.
    void setDevicePath(const QString &path);

    QString Settings() const override { return settings_; }
    void setSettings(const QString &settings);

    void setOutput(const QString &text) override;
    QString Input() override;
    void waitForInput(qint64 msecs) override;
    qint64 takeDroppedInput() override;

    // While open, the device that was opened, whatever the ports files say by now.
    QString portDescription() const override;

    // The device as set up at the last open, so what the line runs with can be checked.
    const QSerialPort &device() const { return port_; }

private:
    PortMapping mapping() const;
    void open();
    void close();
    void markLost();
    void releaseDevice();
    void stopWatchingLockFile();
    void refuseWhileOpen(const QString &what) const;
    void throwIfLost() const;
    void noteErrorAfterIo();
    void onErrorOccurred(QSerialPort::SerialPortError error);
    void dropOldInput();

    QSerialPort port_;
    qint16 commPort_ = 1;
    QString devicePath_;
    // What CommPort or the device path stood for when the port was opened, described once:
    // every exchange's record names it.
    QString openedDescription_;
    QString settings_ = QStringLiteral("9600,N,8,1");
    bool open_ = false;
    // Bytes that came while no command waited and were dropped, since takeDroppedInput().
    qint64 droppedInput_ = 0;
    // Set when the device went away while open; the port stays open until the program closes it.
    bool lost_ = false;
    // The lock file a stop signal removes, with the device it resets, from before the open
    // until after the close.
    QString watchedLockFile_;
};
