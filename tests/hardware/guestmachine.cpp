#include "guestmachine.h"

#include <QCoreApplication>
#include <QDir>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QTest>

#include <algorithm>

namespace
{

constexpr int kQmpBound = 10000; // ms

// The newest kernel in /boot whose modules are installed beside it.
QString kernelVersion()
{
    QStringList images = QDir("/boot").entryList({"vmlinuz-*"}, QDir::Files, QDir::Name);
    std::reverse(images.begin(), images.end());
    for (const QString &image : images) {
        const QString version = image.mid(int(strlen("vmlinuz-")));
        if (QFileInfo::exists("/lib/modules/" + version + "/modules.dep"))
            return version;
    }
    return {};
}

QByteArray adapterDevice()
{
    return "usb-serial,id=adapter,chardev=usb,bus=xhci.0,port=1,serial=VANTREL01";
}

} // namespace

GuestMachine::GuestMachine() : console_([this](const QByteArray &bytes) { takeConsole(bytes); })
{
    QObject::connect(&qemu_, &QProcess::readyReadStandardOutput, [this] { takeQmp(); });
}

GuestMachine::~GuestMachine()
{
    qemu_.terminate();
    if (!qemu_.waitForFinished(kQmpBound))
        qemu_.kill();
}

QString GuestMachine::boot()
{
    const QString version = kernelVersion();
    if (version.isEmpty())
        return "no kernel to boot: /boot/vmlinuz-VERSION with /lib/modules/VERSION is missing "
               "(install linux-image-amd64)";
    const QString initramfs = directory_.filePath("initramfs");
    QProcess make;
    make.setProcessChannelMode(QProcess::MergedChannels);
    make.start("sh", {HARDWARE_DIR "/initramfs.sh", version, HARDWARE_DIR "/init", initramfs});
    if (!make.waitForFinished(kQmpBound) || make.exitCode() != 0)
        return "the guest's initramfs cannot be made (busybox-static and cpio installed?): " +
               make.readAll();

    const QString accelerator = qEnvironmentVariable("VANTREL_QEMU_ACCEL", "tcg");
    // clang-format off
    qemu_.start("qemu-system-x86_64", {
        "-accel", accelerator, "-cpu", "max", "-m", "512", "-nodefaults", "-no-user-config",
        "-display", "none", "-no-reboot",
        "-kernel", "/boot/vmlinuz-" + version, "-initrd", initramfs,
        "-append", "console=ttyS0 loglevel=1 panic=-1 vantrel.setup=" HARDWARE_DIR "/guest.sh",
        // QMP on standard input and output; the console and the two lines on pseudo-terminals.
        "-chardev", "stdio,id=qmp,signal=off", "-mon", "chardev=qmp,mode=control",
        "-chardev", "serial,id=console,path=" + console_.path(), "-serial", "chardev:console",
        "-chardev", "serial,id=uart,path=" + uart.line.path(), "-serial", "chardev:uart",
        "-chardev", "serial,id=usb,path=" + adapter.line.path(),
        "-device", "qemu-xhci,id=xhci", "-device", adapterDevice(),
        "-virtfs", "local,path=/,mount_tag=host,security_model=none,readonly=on,multidevs=remap",
        "-d", "trace:serial_update_parameters,trace:usb_serial_set_baud,trace:usb_serial_set_data",
        "-D", directory_.filePath("trace")});
    // clang-format on
    if (!qemu_.waitForStarted())
        return "QEMU (qemu-system-x86_64) cannot be started: " + qemu_.errorString() +
               " (install qemu-system-x86)";
    const bool ready = QTest::qWaitFor(
        [&] { return consoleText_.contains("@@ready\n") || qemu_.state() != QProcess::Running; },
        180000);
    if (!ready || !qmp(R"({"execute": "qmp_capabilities"})"))
        return "the guest did not come up. QEMU said: " + qemu_.readAllStandardError() +
               "\nThe guest's console:\n" + consoleText_;
    return {};
}

bool GuestMachine::qmp(const QByteArray &command)
{
    qmpReplies_.clear();
    qemu_.write(command + '\n');
    // No reply in time reads as a failed command.
    static_cast<void>(QTest::qWaitFor([&] { return !qmpReplies_.isEmpty(); }, kQmpBound));
    return qmpReplies_.value(0).startsWith("return");
}

void GuestMachine::takeQmp()
{
    qmpPending_ += qemu_.readAllStandardOutput();
    for (qsizetype end; (end = qmpPending_.indexOf('\n')) >= 0;) {
        const QJsonObject message = QJsonDocument::fromJson(qmpPending_.left(end)).object();
        qmpPending_.remove(0, end + 1);
        if (message.value("event") == "DEVICE_DELETED")
            deleted_ = true;
        else if (message.contains("return") || message.contains("error"))
            qmpReplies_.append(message.keys().first());
    }
}

void GuestMachine::takeConsole(const QByteArray &bytes)
{
    consoleText_ += QString::fromUtf8(bytes).remove(u'\r');
    // Requests are only noted here; run() serves them outside this notifier.
    for (qsizetype end; (end = consoleText_.indexOf(u'\n', scanned_)) >= 0; scanned_ = end + 1) {
        const QString line = consoleText_.mid(scanned_, end - scanned_);
        if (line == "@@unplug" || line == "@@replug")
            requests_.append(line.mid(2));
    }
}

void GuestMachine::unplug()
{
    deleted_ = false;
    plugged_ = false;
    sinceUnplug_.start();
    if (!qmp(R"({"execute": "device_del", "arguments": {"id": "adapter"}})") ||
        !QTest::qWaitFor([&] { return deleted_; }, kQmpBound))
        qWarning("QEMU did not unplug the adapter");
}

void GuestMachine::replug()
{
    const QByteArray properties = adapterDevice();
    QJsonObject arguments{{"driver", "usb-serial"}};
    for (const QByteArray &property : properties.split(',').mid(1)) {
        const QList<QByteArray> pair = property.split('=');
        arguments.insert(QString::fromLatin1(pair[0]), QString::fromLatin1(pair[1]));
    }
    const QJsonObject command{{"execute", "device_add"}, {"arguments", arguments}};
    plugged_ = qmp(QJsonDocument(command).toJson(QJsonDocument::Compact));
    if (!plugged_)
        qWarning("QEMU did not plug the adapter back");
}

void GuestMachine::plugBack()
{
    if (plugged_)
        return;
    replug();
    run("waitfor '[ -e $byid ]'");
}

void GuestMachine::serveRequests()
{
    if (std::exchange(adapter.pullHeard, false))
        unplug();
    while (!requests_.isEmpty())
        requests_.takeFirst() == "unplug" ? unplug() : replug();
}

GuestMachine::Result GuestMachine::run(const QString &command, int boundMs)
{
    consoleText_.clear();
    scanned_ = 0;
    // Numbered, so the end of a command that ran out of time is not taken for a later one's.
    const QString number = QString::number(++commands_);
    console_.write((number + ' ' + command).toUtf8() + '\n');
    const QRegularExpression end("^@@rc " + number + " (\\d+)$",
                                 QRegularExpression::MultilineOption);
    QRegularExpressionMatch ended;
    const QDeadlineTimer deadline(boundMs);
    while (!(ended = end.match(consoleText_)).hasMatch() && !deadline.hasExpired()) {
        static_cast<void>(QTest::qWaitFor( // the loop's condition tells why it ended
            [&] {
                return end.match(consoleText_).hasMatch() || !requests_.isEmpty() ||
                       adapter.pullHeard;
            },
            deadline.remainingTime()));
        serveRequests();
    }
    if (!ended.hasMatch())
        return {-1, consoleText_};
    return {ended.captured(1).toInt(), consoleText_.left(ended.capturedStart())};
}

GuestMachine::Settings GuestMachine::traced(bool onAdapter) const
{
    QFile file(directory_.filePath("trace"));
    file.open(QIODevice::ReadOnly);
    const QString trace = QString::fromLatin1(file.readAll());
    const auto last = [&](const char *pattern) {
        QRegularExpressionMatch found;
        for (const auto &match : QRegularExpression(pattern).globalMatch(trace))
            found = match;
        return found;
    };
    Settings settings;
    const QRegularExpressionMatch line =
        onAdapter
            ? last(R"(usb_serial_set_data dev \S+ parity (.), data bits (\d), stop bits (\d))")
            : last(R"(serial_update_parameters baudrate=(\d+) parity='(.)' data=(\d) stop=(\d))");
    const int first = onAdapter ? 1 : 2;
    settings.parity = line.captured(first);
    settings.dataBits = line.captured(first + 1).toInt();
    settings.stopBits = line.captured(first + 2).toInt();
    settings.baud = (onAdapter ? last(R"(usb_serial_set_baud dev \S+ baud rate (\d+))") : line)
                        .captured(1)
                        .toInt();
    return settings;
}
