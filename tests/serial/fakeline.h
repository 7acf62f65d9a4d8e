#pragma once

#include "commandexchange.h"
#include "serialline.h"
#include "tickclock.h"

#include <QList>
#include <QString>
#include <map>

// A clock that moves only when the fake line waits.
class FakeClock final : public TickClock
{
public:
    qint64 now = 0;
    qint64 ticks() const override { return now; }
};

// A line whose input arrives at scripted clock times; input due at the same time is one read.
// Waiting moves the clock to the next arrival or to the end of the wait.
class FakeLine final : public SerialLine
{
public:
    explicit FakeLine(FakeClock &clock) : clock_(clock) {}

    void arriveAt(qint64 at, const QString &text) { arrivals_[at] += text; }

    void setOutput(const QString &text) override
    {
        written += text;
        writeTimes.append(clock_.now);
    }

    QString Input() override
    {
        QString taken;
        while (!arrivals_.empty() && arrivals_.begin()->first <= clock_.now) {
            taken += arrivals_.begin()->second;
            arrivals_.erase(arrivals_.begin());
        }
        return taken;
    }

    void waitForInput(qint64 msecs) override
    {
        ++waits;
        qint64 until = clock_.now + msecs;
        if (!arrivals_.empty())
            until = std::min(until, std::max(clock_.now, arrivals_.begin()->first));
        clock_.now = until;
    }

    QString written;
    QList<qint64> writeTimes;
    int waits = 0;

private:
    FakeClock &clock_;
    std::map<qint64, QString> arrivals_;
};

// The window's side of the exchange: a timeout text and a count of Open Port calls.
class FakeHost final : public ExchangeHost
{
public:
    QString timeOut = QStringLiteral("500 ");
    int opens = 0;
    QString timeOutText() const override { return timeOut; }
    void openPort_Click() override { ++opens; }
};
