#include "plcengine.h"
#include "pseudoterminal.h"

#include <QTest>

#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

using namespace plcsim;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

Q_DECLARE_METATYPE(plcsim::PlcOptions)

namespace
{

// The tool's end of the line, opened the way a serial port is.
struct ToolSide {
    explicit ToolSide(const std::string &path)
        : fd(::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK))
    {
        termios settings{};
        if (fd >= 0 && ::tcgetattr(fd, &settings) == 0) {
            ::cfmakeraw(&settings);
            ::tcsetattr(fd, TCSANOW, &settings);
        }
    }
    ~ToolSide() { ::close(fd); }

    bool write(const QByteArray &bytes) const
    {
        return ::write(fd, bytes.constData(), bytes.size()) == bytes.size();
    }

    // Reads until at least count bytes have come or the bound has passed.
    QByteArray read(qsizetype count, std::chrono::milliseconds bound) const
    {
        const auto deadline = Clock::now() + bound;
        QByteArray got;
        while (got.size() < count && Clock::now() < deadline) {
            pollfd readable{fd, POLLIN, 0};
            const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
            if (::poll(&readable, 1, int(left.count())) <= 0 || (readable.revents & POLLIN) == 0)
                continue;
            char buffer[256];
            const ssize_t n = ::read(fd, buffer, sizeof buffer);
            if (n > 0)
                got.append(buffer, n);
        }
        return got;
    }

    int fd;
};

} // namespace

class TstPlcEngine : public QObject
{
    Q_OBJECT

private slots:
    void answers_data()
    {
        QTest::addColumn<PlcOptions>("options");
        QTest::addColumn<QByteArray>("input");
        QTest::addColumn<QByteArray>("expected");

        const PlcOptions plain;
        QTest::newRow("empty") << plain << QByteArray("\r") << QByteArray("OK \r");
        QTest::newRow("enq inside command")
            << plain << QByteArray("A\005B\r") << QByteArray("OK A\005B\r");
        QTest::newRow("framed no text")
            << plain << QByteArray("@0A31*\r") << QByteArray("@0AOK35*\r");
        QTest::newRow("framed lower hex")
            << plain << QByteArray("@0az6b*\r") << QByteArray("@0AOKz4F*\r");
        QTest::newRow("bad unit") << plain << QByteArray("@zzabc00*\r") << QByteArray("@00ER57*\r");
        QTest::newRow("no star") << plain << QByteArray("@0A31\r") << QByteArray("@0AER26*\r");
        QTest::newRow("crlf") << PlcOptions{.crlf = true} << QByteArray("RD\r")
                              << QByteArray("OK RD\r\n");
        QTest::newRow("delays") << PlcOptions{.enqDelayMs = 20, .replyDelayMs = 20}
                                << QByteArray("\x05RD\r") << QByteArray("\x05OK RD\r");
        QTest::newRow("silent still answers enq")
            << PlcOptions{.silent = true} << QByteArray("\x05") << QByteArray("\x05");
    }

    void answers()
    {
        QFETCH(PlcOptions, options);
        QFETCH(QByteArray, input);
        QFETCH(QByteArray, expected);
        PseudoTerminal terminal;
        PlcEngine engine(terminal, options);
        engine.start();
        const ToolSide tool(terminal.slavePath());
        QVERIFY(tool.fd >= 0);

        QVERIFY(tool.write(input));
        QVERIFY(engine.waitForReceived(input.size(), 2000));
        QCOMPARE(QByteArray::fromStdString(engine.received()), input);
        if (expected.isEmpty())
            QCOMPARE(tool.read(1, 200ms), QByteArray());
        else
            QCOMPARE(tool.read(expected.size(), 2s), expected);
    }

    void hangsUpAfterCommands()
    {
        PseudoTerminal terminal;
        PlcEngine engine(terminal, PlcOptions{.hangupAfter = 2});
        engine.start();
        const ToolSide tool(terminal.slavePath());

        // Both replies must reach the tool before the line drops.
        QVERIFY(tool.write("A\rB\r"));
        QCOMPARE(tool.read(10, 2s), QByteArray("OK A\rOK B\r"));
        pollfd line{tool.fd, POLLIN, 0};
        QCOMPARE(::poll(&line, 1, 2000), 1);
        QVERIFY(line.revents & POLLHUP);
        QCOMPARE(engine.commandsServed(), 2);
    }
};

QTEST_GUILESS_MAIN(TstPlcEngine)
#include "tst_plcengine.moc"
