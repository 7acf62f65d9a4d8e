#include "guestmachine.h"

#include <QRegularExpression>
#include <QTest>

// vantrel-send and the window on the kernel's own serial drivers, in a virtual machine booted
// once: what the UART and the USB adapter were set to, exchanges and their timeouts, the adapter
// pulled out mid-command and while idle, a node with no UART, permissions. In the guest the
// programs run as "technician", an ordinary user in the dialout group whose ports file maps
// COM2 to the adapter's by-id name; "visitor" is outside the group.

namespace
{

const QString kSend = QStringLiteral("technician " VANTREL_SEND " ");

} // namespace

class TestHardware : public QObject
{
    Q_OBJECT
    GuestMachine guest;

    HostController &controller(bool onAdapter) { return onAdapter ? guest.adapter : guest.uart; }
    static QString port(bool onAdapter) { return onAdapter ? "COM2" : "/dev/ttyS1"; }

private slots:
    void initTestCase()
    {
        const QString why = guest.boot();
        QVERIFY2(why.isEmpty(), qPrintable(why));
    }
    // A check that failed half-way leaves the adapter as the next one expects it.
    void cleanup() { guest.plugBack(); }

    void lineSettings_data()
    {
        QTest::addColumn<bool>("onAdapter");
        QTest::addColumn<QString>("settings");
        // Each row differs from the one before in every field, so one the device kept from the
        // last open shows.
        for (const bool onAdapter : {false, true})
            for (const char *settings :
                 {"1200,E,7,2", "2400,O,8,1", "4800,N,7,2", "9600,E,8,1", "19200,O,7,2",
                  "38400,N,8,1", "57600,E,7,2", "115200,O,8,1"})
                QTest::addRow("%s %s", onAdapter ? "adapter" : "UART", settings)
                    << onAdapter << QString(settings);
    }

    // The settings the device holds while the tool waits for a reply, as QEMU traced them: the
    // UART's exactly, the adapter's rate within 2% (what its divisor gives; a receiver samples
    // each bit in its middle, so both ends together may be about 5% apart over a frame of ten
    // or eleven bits, and 2% leaves the other end more than half of that).
    void lineSettings()
    {
        QFETCH(bool, onAdapter);
        QFETCH(QString, settings);
        QStringList traced;
        HostController &line = controller(onAdapter);
        line.received.clear();
        line.heard = [&](const QByteArray &) { traced = guest.traced(onAdapter); };
        const auto result = guest.run(kSend + "-p " + port(onAdapter) + " -s " + settings + " RD");
        line.heard = nullptr;
        QCOMPARE(result.output, "OK RD\n");
        QCOMPARE(line.received, "\x05RD\r");
        const QStringList chosen = settings.split(',');
        QCOMPARE(traced.mid(1), chosen.mid(1));
        const int baud = chosen[0].toInt();
        const int rate = traced.value(0).toInt();
        QVERIFY2(onAdapter ? qAbs(rate - baud) * 50 <= baud : rate == baud,
                 qPrintable(traced.join(',')));
    }

    void timeout_data()
    {
        QTest::addColumn<bool>("onAdapter");
        QTest::addColumn<bool>("answerEnq");
        QTest::addColumn<QByteArray>("wire");
        QTest::newRow("UART, ENQ unanswered: the handshake gives up at 600 ms")
            << false << false << QByteArray("\x05");
        QTest::newRow("adapter, no reply: the reply wait gives up at 600 ms")
            << true << true << QByteArray("\x05RD\r");
    }

    void timeout()
    {
        QFETCH(bool, onAdapter);
        QFETCH(bool, answerEnq);
        QFETCH(QByteArray, wire);
        HostController &line = controller(onAdapter);
        line.received.clear();
        line.answerEnq = answerEnq;
        line.answerCommands = false;
        const auto result = guest.run(kSend + "-p " + port(onAdapter) + " -t 600 --json RD");
        line.answerEnq = line.answerCommands = true;
        QCOMPARE(result.status, 1);
        QCOMPARE(line.received, wire);
        const double ms =
            QRegularExpression("\"ms\":([\\d.]+)").match(result.output).captured(1).toDouble();
        // Not before the deadline, nor run on to the handshake's default of 1000 ms.
        QVERIFY2(ms >= 600 && ms < 900, qPrintable(result.output));
    }

    void unplugWhileWaiting()
    {
        guest.adapter.received.clear();
        const auto result =
            guest.run(kSend + "-p COM2 -t 15000 PULL; echo status $?; ls /run/lock");
        const qint64 msecs = guest.msecsSinceUnplug();
        QCOMPARE(guest.adapter.received, "\x05PULL\r");
        QVERIFY2(result.output.contains("went away") && result.output.endsWith("status 2\n"),
                 qPrintable(result.output));
        QVERIFY2(msecs < 2000, qPrintable(QString::number(msecs)));
        // Nothing left locked: plugged back, the adapter opens for the next program.
        guest.plugBack();
        QCOMPARE(guest.run(kSend + "-p COM2 RD").output, "OK RD\n");
    }

    void unplugWhileIdle()
    {
        // A holder that reads its commands from a pipe opens COM2, gets a reply and sits idle
        // while the adapter is pulled out and plugged back.
        const auto cycled = guest.run(
            "mkfifo $TMPDIR/commands && exec 3<>$TMPDIR/commands && { " + kSend +
            "-p COM2 <&3 >$TMPDIR/holder 2>&1 & holder=$!; } && echo RD >&3 && "
            "waitfor 'grep -q \"OK RD\" $TMPDIR/holder' && ls /run/lock && "
            "before=$(readlink -f $byid) && echo @@unplug && waitfor '[ ! -e $byid ]' && "
            "echo @@replug && waitfor '[ -e $byid ]' && echo \"$before -> $(readlink -f $byid)\"");
        QCOMPARE(cycled.status, 0);
        const QRegularExpressionMatch nodes =
            QRegularExpression("^(\\S+) -> (\\S+)$", QRegularExpression::MultilineOption)
                .match(cycled.output);
        QVERIFY2(nodes.hasMatch() && nodes.captured(1) != nodes.captured(2),
                 qPrintable(cycled.output));

        // The holder learns of the loss at its next command and lets go of everything.
        const auto lost = guest.run("echo RD >&3; wait $holder; echo status $?; exec 3>&-; "
                                    "cat $TMPDIR/holder; ls /run/lock");
        QVERIFY2(lost.output.startsWith("status 2\nOK RD\n") && lost.output.contains("went away"),
                 qPrintable(lost.output));
        QVERIFY2(!lost.output.contains("LCK.."), qPrintable(lost.output));

        // The by-id name in the ports file reaches the adapter on its new node.
        guest.adapter.received.clear();
        QCOMPARE(guest.run(kSend + "-p COM2 RD").output, "OK RD\n");
        QCOMPARE(guest.adapter.received, "\x05RD\r");
        // The holder's lock file was named after the device, which the by-id name led to.
        QVERIFY2(cycled.output.startsWith("LCK..ttyUSB0\n"), qPrintable(cycled.output));
    }

    void window()
    {
        const auto result = guest.run("technician " WINDOW_TEST, 120000);
        QVERIFY2(result.status == 0, qPrintable(result.output));
    }

    void refusals_data()
    {
        QTest::addColumn<QString>("command");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("pattern");
        QTest::newRow("a node with no UART")
            << kSend + "-p /dev/ttyS3 RD" << 2 << "no serial hardware answers";
        QTest::newRow("--list-ports: the adapter present")
            << kSend + "--list-ports" << 0 << "^COM2: /dev/serial/by-id/.*, present$";
        QTest::newRow("--list-ports: the node with no UART not present")
            << kSend + "--list-ports" << 0 << "^COM4: /dev/ttyS3(?!.*, present$)";
        QTest::newRow("a user outside the dialout group")
            << "visitor " VANTREL_SEND " -p /dev/ttyS1 RD" << 2
            << "(?i)permission denied[\\s\\S]*\\bdialout\\b";
    }

    void refusals()
    {
        QFETCH(QString, command);
        QFETCH(int, status);
        QFETCH(QString, pattern);
        const auto result = guest.run(command);
        QCOMPARE(result.status, status);
        QVERIFY2(QRegularExpression(pattern, QRegularExpression::MultilineOption)
                     .match(result.output)
                     .hasMatch(),
                 qPrintable(result.output));
    }
};

QTEST_GUILESS_MAIN(TestHardware)
#include "tst_hardware.moc"
