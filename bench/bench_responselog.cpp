// The response log at any size: a new line must cost the same on an empty log, on a log of
// 100,000 lines and after an 8 MiB line (goal: within 1.5 times the empty log's cost), and
// Clear must give the memory back (goal: within 10 % of an empty log's). Each figure is
// measured against its reference in the same run, with the box at the window's size and font.

#include "responsebox.h"
#include "windowfonts.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QRandomGenerator>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace
{

constexpr int kRounds = 300;

QString reply(int i)
{
    return QStringLiteral("OK RD D%1 = %2").arg(i % 1000, 3, 10, QLatin1Char('0')).arg(i % 10);
}

// A reply from a controller at the wrong baud rate: every byte value, in no order.
QString noise(qsizetype bytes)
{
    QString text(bytes, Qt::Uninitialized);
    for (QChar &c : text)
        c = QChar(char16_t(QRandomGenerator::global()->bounded(256)));
    return text;
}

double residentMegabytes()
{
    QFile status(QStringLiteral("/proc/self/statm"));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    const QList<QByteArray> pages = status.readAll().split(' ');
    return pages.value(1).toDouble() * 4096 / (1024 * 1024);
}

ResponseBox *newBox()
{
    auto *box = new ResponseBox;
    box->setFont(windowFont(8.25));
    box->resize(393, 161);
    box->show();
    return box;
}

// Microseconds for one new line in each box, painted as the operator sees it. The boxes take
// turns, starting empty, on 100,000 lines and after the 8 MiB line, so a machine busy with other
// work slows all of them alike; the median drops outliers.
std::vector<double> lineCosts(const std::vector<ResponseBox *> &boxes)
{
    std::vector<std::vector<qint64>> times(boxes.size());
    QElapsedTimer timer;
    for (int i = 0; i < kRounds; ++i) {
        for (std::size_t b = 0; b < boxes.size(); ++b) {
            QCoreApplication::processEvents();
            timer.start();
            boxes[b]->appendLine(reply(i));
            QCoreApplication::processEvents(); // the view settles and is painted
            times[b].push_back(timer.nsecsElapsed());
        }
    }
    std::vector<double> medians;
    for (auto &each : times) {
        std::nth_element(each.begin(), each.begin() + kRounds / 2, each.end());
        medians.push_back(each[kRounds / 2] / 1000.0);
    }
    return medians;
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    ResponseBox *box = newBox();
    for (int i = 0; i < 20; ++i)
        box->appendLine(reply(i));
    QCoreApplication::processEvents();
    box->clear();
    QCoreApplication::processEvents();
    const double emptyMegabytes = residentMegabytes();
    for (int i = 0; i < 100000; ++i)
        box->appendLine(reply(i));
    QCoreApplication::processEvents();
    const double fullMegabytes = residentMegabytes();
    box->clear();
    QCoreApplication::processEvents();
    const double clearedMegabytes = residentMegabytes();

    ResponseBox *empty = newBox();
    ResponseBox *huge = newBox();
    const QString noiseLine = noise(8 << 20);
    QCoreApplication::processEvents();
    QElapsedTimer timer;
    timer.start();
    huge->appendLine(noiseLine);
    huge->viewport()->repaint();
    const double hugeMsecs = timer.nsecsElapsed() / 1e6;
    for (int i = 0; i < 100000; ++i)
        box->appendLine(reply(i));
    const std::vector<double> costs = lineCosts({empty, box, huge});

    std::printf("new line, painted (median us): empty log %.1f, on 100,000 lines %.1f (ratio "
                "%.2f), after an 8 MiB line %.1f (ratio %.2f); goal: ratios <= 1.5\n",
                costs[0], costs[1], costs[1] / costs[0], costs[2], costs[2] / costs[0]);
    std::printf("8 MiB line of noise: added and painted in %.0f ms; goal: < 1000 ms\n", hugeMsecs);
    std::printf("memory (MB): empty log %.1f, 100,000 lines %.1f, after Clear %.1f (ratio %.2f); "
                "goal: ratio <= 1.10\n",
                emptyMegabytes, fullMegabytes, clearedMegabytes, clearedMegabytes / emptyMegabytes);
    return 0;
}
