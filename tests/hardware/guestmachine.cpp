#include "guestmachine.h"

#include <QCoreApplication>
#include <QFile>
#include <QRegularExpression>
#include <QTest>

namespace
{

constexpr int kQmpBound = 10000; // ms

// The USB adapter as plugged in at the start and plugged back.
const QByteArray kAdapter = R"({"driver": "usb-serial", "id": "adapter", "chardev": "usb", )"
                            R"("bus": "xhci.0", "port": "1", "serial": "VANTREL01"})";

} // namespace

GuestMachine::GuestMachine()
{
    QObject::connect(&qemu_, &QProcess::readyReadStandardOutput,
                     [this] { qmpText_ += qemu_.readAllStandardOutput(); });
}

GuestMachine::~GuestMachine()
{
    qemu_.terminate();
    if (!qemu_.waitForFinished(kQmpBound))
        qemu_.kill();
}

QString GuestMachine::boot()
{
    const QString initramfs = directory_.filePath("initramfs");
    QProcess make;
    make.start("sh", {HARDWARE_DIR "/initramfs.sh", HARDWARE_DIR "/init", initramfs});
    if (!make.waitForFinished(kQmpBound) || make.exitCode() != 0)
        return "no kernel and initramfs for the guest (busybox-static and cpio installed?): " +
               make.readAllStandardError();
    const QString kernel = make.readAllStandardOutput().trimmed();
    const QString accelerator = qEnvironmentVariable("VANTREL_QEMU_ACCEL", "tcg");
    // clang-format off
    qemu_.start("qemu-system-x86_64", {
        "-accel", accelerator, "-cpu", "max", "-m", "512", "-nodefaults", "-no-user-config",
        "-display", "none", "-no-reboot", "-kernel", kernel, "-initrd", initramfs,
        "-append", "console=ttyS0 loglevel=1 panic=-1 vantrel.setup=" HARDWARE_DIR "/guest.sh",
        // QMP on standard input and output; the console and the two lines on pseudo-terminals.
        "-chardev", "stdio,id=qmp,signal=off", "-mon", "chardev=qmp,mode=control",
        "-chardev", "serial,id=console,path=" + console_.path(), "-serial", "chardev:console",
        "-chardev", "serial,id=uart,path=" + uart.line.path(), "-serial", "chardev:uart",
        "-chardev", "serial,id=usb,path=" + adapter.line.path(),
        "-device", "qemu-xhci,id=xhci", "-device", kAdapter,
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
    if (!ready || !qmp("qmp_capabilities"))
        return "the guest did not come up. QEMU said: " + qemu_.readAllStandardError() +
               "\nThe guest's console:\n" + consoleText_;
    return {};
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
        if (std::exchange(adapter.pullHeard, false))
            unplug();
        while (!requests_.isEmpty())
            requests_.takeFirst() == "unplug" ? unplug() : replug();
    }
    if (!ended.hasMatch())
        return {-1, consoleText_};
    return {ended.captured(1).toInt(), consoleText_.left(ended.capturedStart())};
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

bool GuestMachine::qmp(const QByteArray &execute, const QByteArray &arguments)
{
    qmpText_.clear();
    qemu_.write(R"({"execute": ")" + execute + R"(", "arguments": )" + arguments + "}\n");
    // No reply in time reads as a failure.
    static_cast<void>(QTest::qWaitFor(
        [&] { return qmpText_.contains("\"return\"") || qmpText_.contains("\"error\""); },
        kQmpBound));
    return qmpText_.contains("\"return\"");
}

void GuestMachine::unplug()
{
    plugged_ = false;
    sinceUnplug_.start();
    if (!qmp("device_del", R"({"id": "adapter"})") ||
        !QTest::qWaitFor([&] { return qmpText_.contains("DEVICE_DELETED"); }, kQmpBound))
        qWarning("QEMU did not unplug the adapter: %s", qmpText_.constData());
}

void GuestMachine::replug()
{
    plugged_ = qmp("device_add", kAdapter);
    if (!plugged_)
        qWarning("QEMU did not plug the adapter back: %s", qmpText_.constData());
}

void GuestMachine::plugBack()
{
    if (plugged_)
        return;
    replug();
    run("waitfor '[ -e $byid ]'");
}

QStringList GuestMachine::traced(bool onAdapter) const
{
    QFile file(directory_.filePath("trace"));
    file.open(QIODevice::ReadOnly);
    const QString trace = QString::fromLatin1(file.readAll());
    // The fields of a pattern's last match: what the device holds now.
    const auto last = [&](const char *pattern) {
        QStringList fields;
        for (const auto &match : QRegularExpression(pattern).globalMatch(trace))
            fields = match.capturedTexts().mid(1);
        return fields;
    };
    if (!onAdapter)
        return last(R"(serial_update_parameters baudrate=(\d+) parity='(.)' data=(\d) stop=(\d))");
    return last(R"(usb_serial_set_baud dev \S+ baud rate (\d+))") +
           last(R"(usb_serial_set_data dev \S+ parity (.), data bits (\d), stop bits (\d))");
}
