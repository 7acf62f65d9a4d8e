// How long one new log line takes on logs of different lengths, up to 100,000 lines. Adding at
// the end must cost the same however long the log already is.

#include "responselog.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QPlainTextEdit>

#include <cstdio>

namespace
{

// The same kind of line throughout, so every figure paints the same text.
QString reply(int i)
{
    return QStringLiteral("OK RD D%1 = %2").arg(i % 1000).arg(i);
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    constexpr int kRounds = 200;
    std::printf("%10s  %22s  %18s\n", "log lines", "line + repaint (us)", "line alone (us)");
    for (int lines : {0, 1000, 10000, 100000}) {
        QPlainTextEdit box;
        box.resize(393, 161);
        box.show();
        for (int i = 0; i < lines; ++i)
            appendLogLine(&box, reply(i));
        QCoreApplication::processEvents(); // settle the layout before timing

        QElapsedTimer timer;
        timer.start();
        for (int i = 0; i < kRounds; ++i) {
            appendLogLine(&box, reply(i));
            QCoreApplication::processEvents(); // paint, as the operator would see it
        }
        const double painted = timer.nsecsElapsed() / 1000.0 / kRounds;
        timer.restart();
        for (int i = 0; i < kRounds; ++i)
            appendLogLine(&box, reply(i));
        const double alone = timer.nsecsElapsed() / 1000.0 / kRounds;
        QCoreApplication::processEvents();
        std::printf("%10d  %22.1f  %18.1f\n", lines, painted, alone);
    }
    return 0;
}
