#include "guestmachine.h"

#include <QRegularExpression>
#include <QTest>

// vantrel-send and the window on the kernel's own serial drivers, in a virtual machine booted
// once: what the UART and the USB adapter were set to, exchanges and their timeouts, the adapter
// pulled out mid-command and while idle, a node with no UART, permissions. In the guest the
// programs run as "technician", an ordinary user in the dialout group whose ports file maps
// COM2 to the adapter's by-id name; "visitor" is outside the group.

const QString kSend = QStringLiteral("technician " VANTREL_SEND " ");

class TestHardware : public QObject
{
    Q_OBJECT
    GuestMachine guest;

    HostLine &lineOf(const QString &port) { return port == "COM2" ? guest.adapter : guest.uart; }

private slots:
    void initTestCase() { QCOMPARE(guest.boot(), QString()); }
    // A check that failed half-way leaves the adapter as the next one expects it.
    void cleanup() { guest.plugBack(); }

    void lineSettings_data()
    {
        QTest::addColumn<QString>("port");
        QTest::addColumn<QString>("settings");
        // Each row differs from the one before in every field, so one the device kept from the
        // last open shows.
        for (const char *port : {"/dev/ttyS1", "COM2"})
            for (const char *settings :
                 {"1200,E,7,2", "2400,O,8,1", "4800,N,7,2", "9600,E,8,1", "19200,O,7,2",
                  "38400,N,8,1", "57600,E,7,2", "115200,O,8,1"})
                QTest::addRow("%s %s", port[0] == '/' ? "UART" : "adapter", settings)
                    << QString(port) << QString(settings);
    }

    // The settings the device holds while the tool waits for a reply, as QEMU traced them: the
    // UART's exactly, the adapter's rate within 2% (what its divisor gives; a receiver samples
    // each bit in its middle, so both ends together may be about 5% apart over a frame of ten
    // or eleven bits, and 2% leaves the other end more than half of that).
    void lineSettings()
    {
        QFETCH(QString, port);
        QFETCH(QString, settings);
        HostLine &line = lineOf(port);
        QCOMPARE(guest.run(kSend + "-p " + port + " -s " + settings + " RD").output, "OK RD\n");
        QCOMPARE(line.received, "\x05RD\r");
        QCOMPARE(line.settings.mid(1), settings.split(',').mid(1));
        const int baud = settings.section(',', 0, 0).toInt(), rate = line.settings.value(0).toInt();
        QVERIFY2(&line == &guest.adapter ? qAbs(rate - baud) * 50 <= baud : rate == baud,
                 qPrintable(line.settings.join(',')));
    }

    void timeout_data()
    {
        QTest::addColumn<QString>("port");
        QTest::addColumn<bool>("answerEnq");
        QTest::addColumn<QByteArray>("wire");
        QTest::newRow("UART, ENQ unanswered: the handshake gives up at 600 ms")
            << "/dev/ttyS1" << false << QByteArray("\x05");
        QTest::newRow("adapter, no reply: the reply wait gives up at 600 ms")
            << "COM2" << true << QByteArray("\x05RD\r");
    }

    void timeout()
    {
        QFETCH(QString, port);
        QFETCH(bool, answerEnq);
        QFETCH(QByteArray, wire);
        HostLine &line = lineOf(port);
        line.answerEnq = answerEnq;
        line.answerCommands = false;
        const auto result = guest.run(kSend + "-p " + port + " -t 600 --json RD");
        line.answerEnq = line.answerCommands = true;
        QCOMPARE(result.status, 1);
        QCOMPARE(line.received, wire);
        // Not before the deadline, nor run on to the handshake's default of 1000 ms.
        QVERIFY2(result.output.contains(QRegularExpression("\"ms\":[6-9]\\d\\d\\b")),
                 qPrintable(result.output));
    }

    // The adapter pulled out while a command waits, and while a holder sits idle: each learns of
    // the loss (at once, or at its next command), exits 2 and lets go of everything.
    void unplug()
    {
        const auto waiting =
            guest.run(kSend + "-p COM2 -t 15000 PULL; echo status $?; ls /run/lock");
        // The loss ends the wait within a second or two (about 0.2 s seen), far from the timeout;
        // the bound leaves room for the emulated machine's console on a loaded host.
        QVERIFY2(guest.unplugged.elapsed() < 3000, qPrintable(waiting.output));
        QCOMPARE(guest.adapter.received, "\x05PULL\r");
        QVERIFY2(waiting.output.contains("went away") && waiting.output.endsWith("status 2\n"),
                 qPrintable(waiting.output));

        // Nothing left locked: plugged back, the adapter opens for a holder that reads its
        // commands from a pipe, gets a reply and sits idle while the adapter is pulled out and
        // plugged back.
        guest.plugBack();
        const auto cycled =
            guest.run("mkfifo $TMPDIR/commands && exec 3<>$TMPDIR/commands && { " + kSend +
                      "-p COM2 <&3 >$TMPDIR/holder 2>&1 & holder=$!; } && echo RD >&3 && "
                      "waitfor 'grep -q \"OK RD\" $TMPDIR/holder' && ls /run/lock && replug");
        QVERIFY2(cycled.status == 0, qPrintable(cycled.output)); // on a new node
        const auto lost = guest.run("echo RD >&3; wait $holder; echo status $?; exec 3>&-; "
                                    "cat $TMPDIR/holder; ls /run/lock");
        QVERIFY2(lost.output.startsWith("status 2\nOK RD\n") && lost.output.contains("went away") &&
                     !lost.output.contains("LCK.."),
                 qPrintable(lost.output));

        // The by-id name in the ports file reaches the adapter on its new node.
        QCOMPARE(guest.run(kSend + "-p COM2 RD").output, "OK RD\n");
        QCOMPARE(guest.adapter.received, "\x05RD\r");
        // The holder's lock file was named after the device, which the by-id name led to.
        QVERIFY2(cycled.output.startsWith("LCK..ttyUSB0\n"), qPrintable(cycled.output));
    }

    // What a command in the guest exits with and writes.
    void commands_data()
    {
        QTest::addColumn<QString>("command");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("pattern");
        QTest::newRow("the window on the adapter, pulled out while idle and while waiting")
            << "technician " WINDOW_TEST << 0 << "";
        QTest::newRow("a node with no UART")
            << kSend + "-p /dev/ttyS3 RD" << 2 << "no serial hardware answers";
        QTest::newRow("--list-ports: the adapter present")
            << kSend + "--list-ports" << 0 << "(?m)^COM2: /dev/serial/by-id/.*, present$";
        QTest::newRow("--list-ports: the node with no UART not present")
            << kSend + "--list-ports" << 0 << "(?m)^COM4: /dev/ttyS3(?!.*, present$)";
        QTest::newRow("a user outside the dialout group")
            << "visitor " VANTREL_SEND " -p /dev/ttyS1 RD" << 2
            << "(?i)permission denied[\\s\\S]*\\bdialout\\b";
    }

    void commands()
    {
        QFETCH(QString, command);
        QFETCH(int, status);
        QFETCH(QString, pattern);
        const auto result = guest.run(command, 120000);
        QVERIFY2(result.status == status && result.output.contains(QRegularExpression(pattern)),
                 qPrintable(result.output));
    }
};

QTEST_GUILESS_MAIN(TestHardware)
#include "tst_hardware.moc"
