#include "guestmachine.h"

#include <QFile>
#include <QRegularExpression>
#include <QTest>

// The USB adapter as plugged in at the start and plugged back.
static const QByteArray kAdapter = R"({"driver": "usb-serial", "id": "adapter", "chardev": "usb", )"
                                   R"("bus": "xhci.0", "port": "1", "serial": "VANTREL01"})";

GuestMachine::GuestMachine()
{
    console_.heard = [this](const QByteArray &line) {
        if (line == "@@unplug" || line == "@@replug")
            plug(line == "@@replug");
    };
    monitor_.heard = [this](const QByteArray &message) {
        if (message.contains(R"("error")"))
            qWarning("QEMU: %s", message.constData());
        if (message.contains("DEVICE_DELETED")) {
            deleted_ = true;
            if (plugged_) // asked back in meanwhile
                plug(true);
        }
    };
    for (HostLine *line : {&uart, &adapter})
        line->heard = [this, line](const QByteArray &command) {
            line->settings = traced(line == &adapter);
            if (command == "PULL")
                plug(false);
        };
}

QString GuestMachine::boot()
{
    // clang-format off
    qemu_.start("sh", {HARDWARE_DIR "/boot.sh", directory_.path(),
        // QMP, the console and the two lines on pseudo-terminals; the settings the devices are
        // given traced.
        "-qmp", monitor_.path(), "-serial", console_.path(), "-serial", uart.path(),
        "-chardev", "serial,id=usb,path=" + adapter.path(),
        "-device", "qemu-xhci,id=xhci", "-device", kAdapter,
        "-d", "trace:serial_update_parameters,trace:usb_serial_set_baud,trace:usb_serial_set_data",
        "-D", directory_.filePath("trace")});
    // clang-format on
    const auto up = [&] { return console_.received.contains("@@ready\n"); };
    static_cast<void>(QTest::qWaitFor( // up() tells whether it came up
        [&] { return up() || qemu_.state() == QProcess::NotRunning; }, 180000));
    monitor_.write(R"({"execute": "qmp_capabilities"})");
    if (!up())
        return "the guest did not come up: " + qemu_.readAllStandardError() + "\nIts console:\n" +
               console_.received;
    return {};
}

GuestMachine::Result GuestMachine::run(const QString &command, int boundMs)
{
    for (HostLine *line : {&console_, &uart, &adapter})
        line->received.clear();
    // Numbered, so the end of a command that ran out of time is not taken for a later one's.
    const QString number = QString::number(++commands_);
    console_.write((number + ' ' + command).toUtf8() + '\n');
    // The newline too: a line matched before it came would leave it to the next command's output.
    const QRegularExpression end("(?m)^@@rc " + number + " (\\d+)\n");
    static_cast<void>(QTest::qWaitFor( // the match below tells whether it ended
        [&] { return end.match(QString::fromUtf8(console_.received)).hasMatch(); }, boundMs));
    const QString output = QString::fromUtf8(console_.received);
    const QRegularExpressionMatch ended = end.match(output);
    return {ended.hasMatch() ? ended.captured(1).toInt() : -1, output.left(ended.capturedStart())};
}

void GuestMachine::plug(bool in)
{
    if (!in) {
        unplugged.start();
        deleted_ = false;
        monitor_.write(R"({"execute": "device_del", "arguments": {"id": "adapter"}})");
    } else if (deleted_) {
        deleted_ = false;
        monitor_.write(R"({"execute": "device_add", "arguments": )" + kAdapter + '}');
    }
    plugged_ = in;
}

void GuestMachine::plugBack()
{
    if (!plugged_) {
        plug(true);
        run("waitfor '[ -e $byid ]'");
    }
}

QStringList GuestMachine::traced(bool onAdapter) const
{
    QFile file(directory_.filePath("trace"));
    file.open(QIODevice::ReadOnly);
    const QString trace = QString::fromLatin1(file.readAll());
    // The fields of a pattern's last match: what the device holds now.
    const auto last = [&](const char *pattern) {
        QRegularExpressionMatch match;
        static_cast<void>(trace.lastIndexOf(QRegularExpression(pattern), &match)); // or none
        return match.capturedTexts().mid(1);
    };
    if (!onAdapter)
        return last(R"(serial_update_parameters baudrate=(\d+) parity='(.)' data=(\d) stop=(\d))");
    return last(R"(usb_serial_set_baud dev \S+ baud rate (\d+))") +
           last(R"(usb_serial_set_data dev \S+ parity (.), data bits (\d), stop bits (\d))");
}
