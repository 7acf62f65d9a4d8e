#include "mscomm.h"

#include "failure.h"
#include "latin1.h"
#include "linesettings.h"
#include "portlockfile.h"
#include "portmap.h"
#include "serialdevices.h"
#include "stopsignals.h"

#include <QDeadlineTimer>
#include <QFileInfo>

#include <algorithm>
#include <climits>
#include <utility>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <poll.h>
#include <sys/file.h>
#include <unistd.h>
#endif

namespace
{

// The operating system normally takes a few kilobytes at once; this only bounds a line that
// is held back by the device for good.
constexpr int kHandOverMsecs = 5000;

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
    return mapping().description();
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
    if (!QFileInfo::exists(devicePath))
        failOpen(mapping);
#ifndef Q_OS_WIN
    // termios has no 1.5 stop bits and QSerialPort quietly sets 1 instead; refuse rather than
    // run the line with settings the operator did not choose.
    if (line.stopBits == QSerialPort::OneAndHalfStop)
        throw Failure(QStringLiteral("%1 cannot take the line settings \"%2\": 1.5 stop bits "
                                     "are not available on this system. Choose 1 or 2.")
                          .arg(portDescription(), settings_));
#endif

    port_.setPortName(devicePath);
    port_.setBaudRate(line.baudRate);
    port_.setParity(line.parity);
    port_.setDataBits(line.dataBits);
    port_.setStopBits(line.stopBits);
    port_.setFlowControl(QSerialPort::NoFlowControl);
    // Watched from before the lock file can appear, so a stop signal during the open leaves
    // none behind.
    watchedDevice_ = devicePath;
    watchLockFile(devicePath);
    if (!port_.open(QIODevice::ReadWrite)) {
        stopWatchingLockFile();
        failOpen(mapping);
    }

#ifdef Q_OS_UNIX
    // QSerialPort's exclusive mode does not hold against root, nor against a second opener in
    // this process; a lock on the open device does.
    if (::flock(static_cast<int>(port_.handle()), LOCK_EX | LOCK_NB) != 0) {
        releaseDevice();
        throw Failure(QStringLiteral("%1 is in use by another program. Close that program, "
                                     "or choose another port.")
                          .arg(portDescription()));
    }
#endif
    port_.clearError();
    lost_ = false;
    open_ = true;
}

void MSComm::failOpen(const PortMapping &mapping)
{
    const QString &devicePath = mapping.device;
    const QString port = mapping.description();
    const QSerialPort::SerialPortError error =
        QFileInfo::exists(devicePath) ? port_.error() : QSerialPort::DeviceNotFoundError;
    const QString detail = port_.errorString();
    port_.clearError();
    switch (error) {
    case QSerialPort::DeviceNotFoundError:
        throw Failure(QStringLiteral("%1 cannot be opened: there is no such device%2.\n%3")
                          .arg(port,
                               mapping.origin.isEmpty()
                                   ? QString()
                                   : QStringLiteral(" (mapped by %1)").arg(mapping.origin),
                               serialDevicesAdvice(mapping.port)));
    case QSerialPort::PermissionError: {
        const QFileInfo device(devicePath);
        if (!device.isReadable() || !device.isWritable())
            throw Failure(QStringLiteral("%1 cannot be opened: permission denied. Add your user "
                                         "to the dialout group (sudo usermod -aG dialout "
                                         "$USER), then log in again.")
                              .arg(port));
        if (const auto stale = staleLockFile(devicePath))
            throw Failure(QStringLiteral("%1 cannot be opened: the lock file %2 was left behind "
                                         "by process %3, which no longer exists, and you may "
                                         "not remove it. Remove it (sudo rm %2), then open "
                                         "the port again.")
                              .arg(port, stale->path)
                              .arg(stale->pid));
        throw Failure(QStringLiteral("%1 is in use by another program. Close that program, "
                                     "or choose another port.")
                          .arg(port));
    }
    case QSerialPort::UnsupportedOperationError:
        throw Failure(QStringLiteral("%1 cannot take the line settings \"%2\" (%3). Choose "
                                     "other settings.")
                          .arg(port, settings_, detail));
    default:
        throw Failure(QStringLiteral("%1 cannot be opened: %2.").arg(port, detail));
    }
}

void MSComm::close()
{
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
    if (!watchedDevice_.isEmpty())
        unwatchLockFile(std::exchange(watchedDevice_, QString()));
}

void MSComm::throwIfLost() const
{
    if (!open_)
        throw Failure(QStringLiteral("%1 is not open.").arg(portDescription()));
    if (lost_)
        throw Failure(QStringLiteral("%1 went away: the adapter was unplugged or the other end "
                                     "hung up. Close the port, check the connection and open "
                                     "it again.")
                          .arg(portDescription()));
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
#ifdef Q_OS_UNIX
    // Straight to the device when nothing waits before it; only what the device does not take
    // at once goes through Qt's queue below.
    if (port_.bytesToWrite() == 0) {
        ssize_t written = 0;
        do
            written = ::write(static_cast<int>(port_.handle()), bytes.constData(),
                              static_cast<size_t>(bytes.size()));
        while (written < 0 && errno == EINTR);
        if (written < 0 && errno != EAGAIN && errno != EWOULDBLOCK) {
            // An error on a terminal (EIO): the other end hung up.
            lost_ = true;
            port_.close();
            throwIfLost();
        }
        bytes.remove(0, std::max<ssize_t>(written, 0));
        if (bytes.isEmpty())
            return;
    }
#endif
    if (port_.write(bytes) != bytes.size()) {
        noteErrorAfterIo();
        throw Failure(QStringLiteral("%1 refused the output: %2.")
                          .arg(portDescription(), port_.errorString()));
    }
    // write() only queues; what the device did not take at once is waited for. (On Unix it has
    // just refused more, and Qt's flush() would take a refusal for a failure.)
#ifndef Q_OS_UNIX
    port_.flush();
    noteErrorAfterIo();
#endif
    const QDeadlineTimer deadline(kHandOverMsecs);
    while (port_.bytesToWrite() > 0) {
        port_.waitForBytesWritten(static_cast<int>(deadline.remainingTime()));
        noteErrorAfterIo();
        if (port_.bytesToWrite() > 0 && deadline.hasExpired())
            throw Failure(QStringLiteral("%1 took no output for %2 ms; the device is held up.")
                              .arg(portDescription())
                              .arg(kHandOverMsecs));
    }
}

QString MSComm::Input()
{
    throwIfLost();
    // What Qt pulled in while the event loop ran comes first, then what waits at the device.
    QByteArray bytes = port_.readAll();
#ifdef Q_OS_UNIX
    readWaiting(bytes);
#else
    port_.waitForReadyRead(0);
    bytes += port_.readAll();
#endif
    noteErrorAfterIo();
    return QString::fromLatin1(bytes);
}

#ifdef Q_OS_UNIX
void MSComm::readWaiting(QByteArray &bytes)
{
    // The device is non-blocking: one read takes everything waiting, without a poll first.
    char chunk[64 * 1024];
    for (;;) {
        const ssize_t count = ::read(static_cast<int>(port_.handle()), chunk, sizeof chunk);
        if (count > 0)
            bytes.append(chunk, count);
        if (count == ssize_t(sizeof chunk) || (count < 0 && errno == EINTR))
            continue;
        // A raw terminal reads 0 when nothing waits.
        if (count >= 0 || errno == EAGAIN || errno == EWOULDBLOCK)
            return;
        // An error on a terminal (EIO): the other end hung up.
        lost_ = true;
        port_.close();
        return;
    }
}
#endif

void MSComm::waitForInput(qint64 msecs)
{
    throwIfLost();
    if (port_.bytesAvailable() > 0)
        return;
    const int bounded = static_cast<int>(std::clamp<qint64>(msecs, 0, INT_MAX));
#ifdef Q_OS_UNIX
    // Block on the device itself: waitForReadyRead gives up at once on a hung-up device and
    // would turn the caller's wait into a spin.
    pollfd watch{static_cast<int>(port_.handle()), POLLIN, 0};
    int ready = 0;
    const QDeadlineTimer deadline(bounded);
    do
        ready = ::poll(&watch, 1, static_cast<int>(deadline.remainingTime()));
    while (ready < 0 && errno == EINTR);
    if (ready > 0 && (watch.revents & (POLLHUP | POLLERR | POLLNVAL)))
        markLost();
#else
    port_.waitForReadyRead(bounded);
#endif
    noteErrorAfterIo();
}
