#include "mscomm.h"

#include "failure.h"
#include "latin1.h"
#include "linesettings.h"
#include "openfailure.h"
#include "portlockfile.h"
#include "portmap.h"
#include "stopsignals.h"
#include "terminalio.h"

#include <QDeadlineTimer>

#include <algorithm>
#include <climits>
#include <utility>

namespace
{

// The operating system normally takes a few kilobytes at once; the rest is waited for as long as
// the line needs to carry it, and this much more, which only a device that holds the line up
// for good runs out of.
constexpr qint64 kHeldUpMsecs = 5000;

// What Qt reads in while no command waits (in the window's event loop) is kept only this far,
// the newest of it: enough for a late reply that the next command may still take, and a bound
// on the memory whatever the controller sends.
constexpr qint64 kIdleInputKept = 64 * 1024;

bool isLoss(QSerialPort::SerialPortError error)
{
    return error == QSerialPort::ResourceError || error == QSerialPort::ReadError ||
           error == QSerialPort::WriteError;
}

} // namespace

MSComm::MSComm(QObject *parent) : QObject(parent)
{
    // Without this, a hung-up device keeps the event loop busy with an endless stream of
    // read errors while the port sits idle.
    connect(&port_, &QSerialPort::errorOccurred, this, &MSComm::onErrorOccurred);
    connect(&port_, &QSerialPort::readyRead, this, &MSComm::dropOldInput);
}

MSComm::~MSComm()
{
    close();
}

void MSComm::setPortOpen(bool open)
{
    if (open == open_)
        return;
    if (open)
        this->open();
    else
        close();
}

void MSComm::setCommPort(qint16 port)
{
    if (port < 1)
        throw Failure(QStringLiteral("Port number %1 cannot be used: ports are numbered from 1 "
                                     "(COM1). Choose a port from the list.")
                          .arg(port));
    refuseWhileOpen(QStringLiteral("port number"));
    commPort_ = port;
}

void MSComm::setDevicePath(const QString &path)
{
    refuseWhileOpen(QStringLiteral("device"));
    devicePath_ = path;
}

void MSComm::setSettings(const QString &settings)
{
    LineSettings::parse(settings);
    refuseWhileOpen(QStringLiteral("line settings"));
    settings_ = settings;
}

void MSComm::refuseWhileOpen(const QString &what) const
{
    if (open_)
        throw Failure(QStringLiteral("The %1 of %2 cannot change while it is open; close the "
                                     "port first.")
                          .arg(what, portDescription()));
}

QString MSComm::portDescription() const
{
    // While open, the device that was opened, whatever the ports file says by now.
    return open_ ? openedDescription_ : mapping().description();
}

PortMapping MSComm::mapping() const
{
    return devicePath_.isEmpty() ? mapPort(commPort_) : pathMapping(devicePath_);
}

void MSComm::open()
{
    const LineSettings line = LineSettings::parse(settings_);
    const PortMapping mapping = this->mapping();
    if (!mapping.problem.isEmpty())
        throw Failure(
            QStringLiteral("COM%1 cannot be opened: %2.").arg(commPort_).arg(mapping.problem));
    const QString &devicePath = mapping.device;
    refuseUnusableDevice(mapping);
    // termios has no 1.5 stop bits and QSerialPort quietly sets 1 instead; refuse rather than
    // run the line with settings the operator did not choose.
    if (line.stopBits == QSerialPort::OneAndHalfStop)
        throw unavailableSettingsFailure(
            mapping.description(), settings_,
            QStringLiteral(": 1.5 stop bits are not available on this system. Choose 1 or 2."));

    // Locked, and so opened, as the device the path leads to, which other programs look for.
    const QString device = lockedDevice(devicePath);
    const QString lockFile = clearWayForLockFile(mapping.description(), device);
    port_.setPortName(device);
    port_.setBaudRate(line.baudRate);
    port_.setParity(line.parity);
    port_.setDataBits(line.dataBits);
    port_.setStopBits(line.stopBits);
    port_.setFlowControl(QSerialPort::NoFlowControl);
    // Watched from before the lock file can appear, so a stop signal during the open leaves
    // none behind.
    watchedLockFile_ = lockFile;
    watchPort(device, lockFile);
    if (!port_.open(QIODevice::ReadWrite)) {
        stopWatchingLockFile();
        failOpen(port_, mapping, settings_);
    }
    if (!TerminalIo::lockExclusively(port_)) {
        releaseDevice();
        throw inUseFailure(mapping.description());
    }
    port_.clearError();
    lost_ = false;
    open_ = true;
    openedDescription_ = mapping.description();
}

void MSComm::close()
{
    droppedInput_ = 0;
    releaseDevice();
    port_.clearError();
    lost_ = false;
    open_ = false;
}

void MSComm::onErrorOccurred(QSerialPort::SerialPortError error)
{
    if (!open_ || lost_ || !isLoss(error))
        return;
    markLost();
}

void MSComm::dropOldInput()
{
    const qint64 excess = port_.bytesAvailable() - kIdleInputKept;
    if (excess > 0)
        droppedInput_ += port_.skip(excess);
}

qint64 MSComm::takeDroppedInput()
{
    return std::exchange(droppedInput_, 0);
}

void MSComm::markLost()
{
    lost_ = true;
    // Releasing the device stops Qt from polling it; PortOpen stays true until the operator
    // closes the port.
    releaseDevice();
}

void MSComm::releaseDevice()
{
    port_.close();
    stopWatchingLockFile();
}

void MSComm::stopWatchingLockFile()
{
    if (!watchedLockFile_.isEmpty())
        unwatchPort(std::exchange(watchedLockFile_, QString()));
}

void MSComm::throwIfLost() const
{
    if (!open_)
        throw Failure(QStringLiteral("%1 is not open.").arg(portDescription()));
    if (lost_)
        throw Failure(QStringLiteral("%1 went away: the adapter was unplugged or the other end "
                                     "hung up.")
                          .arg(portDescription()),
                      Remedy::Reconnect);
}

void MSComm::noteErrorAfterIo()
{
    // A wait that ran out leaves TimeoutError behind; it means nothing here.
    if (port_.error() == QSerialPort::TimeoutError)
        port_.clearError();
    throwIfLost();
}

void MSComm::setOutput(const QString &text)
{
    throwIfLost();
    QByteArray bytes = toWireBytes(text, QStringLiteral("The output"));
    const qint64 total = bytes.size();
    // Straight to the device when nothing waits before it; only what the device does not take
    // at once goes through Qt's queue below.
    if (port_.bytesToWrite() == 0) {
        const qint64 taken = TerminalIo::writeNow(port_, bytes);
        if (taken < 0) {
            markLost();
            throwIfLost();
        }
        bytes.remove(0, taken);
        if (bytes.isEmpty())
            return;
    }
    if (port_.write(bytes) != bytes.size()) {
        noteErrorAfterIo();
        throw Failure(QStringLiteral("%1 refused the output: %2.")
                          .arg(portDescription(), port_.errorString()));
    }
    // write() only queues; what the device did not take at once is waited for. (The device has
    // just refused more, and Qt's flush() would take a refusal for a failure.)
    const qint64 bound = kHeldUpMsecs + LineSettings::parse(settings_).msecsToSend(total);
    const QDeadlineTimer deadline(bound);
    while (port_.bytesToWrite() > 0) {
        port_.waitForBytesWritten(
            static_cast<int>(std::min<qint64>(deadline.remainingTime(), INT_MAX)));
        noteErrorAfterIo();
        if (port_.bytesToWrite() > 0 && deadline.hasExpired()) {
            // The operator is told the output failed: none of it may reach the controller later.
            // Drops Qt's queue and the driver's (tcflush TCOFLUSH; PurgeComm on Windows).
            port_.clear(QSerialPort::Output);
            throw Failure(QStringLiteral("%1 did not take the output within %2 ms; the device is "
                                         "held up. Nothing more of it will be sent.")
                              .arg(portDescription())
                              .arg(bound));
        }
    }
}

QString MSComm::Input()
{
    throwIfLost();
    // What Qt pulled in while the event loop ran comes first, then what waits at the device.
    QByteArray bytes = port_.readAll();
    if (!TerminalIo::readWaiting(port_, bytes))
        markLost();
    noteErrorAfterIo();
    return QString::fromLatin1(bytes);
}

void MSComm::waitForInput(qint64 msecs)
{
    throwIfLost();
    if (port_.bytesAvailable() > 0)
        return;
    if (!TerminalIo::waitReadable(port_, static_cast<int>(std::clamp<qint64>(msecs, 0, INT_MAX))))
        markLost();
    noteErrorAfterIo();
}
