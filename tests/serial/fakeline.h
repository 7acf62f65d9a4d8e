#pragma once

#include "commandexchange.h"
#include "serialline.h"
#include "tickclock.h"

#include <QString>
#include <map>
#include <stdexcept>

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

    void setOutput(const QString &text) override { written += text; }

    QString Input() override
    {
        QString taken;
        while (!arrivals_.empty() && arrivals_.begin()->first <= clock_.now) {
            taken += arrivals_.begin()->second;
            arrivals_.erase(arrivals_.begin());
        }
        return taken;
    }

    // Throws when the caller keeps waiting while no time passes, or waits in tiny steps: on a
    // real port either is a spin, and here it would hang the test.
    void waitForInput(qint64 msecs) override
    {
        ++waits;
        qint64 until = clock_.now + msecs;
        if (!arrivals_.empty())
            until = std::min(until, std::max(clock_.now, arrivals_.begin()->first));
        idleWaits_ = until == clock_.now ? idleWaits_ + 1 : 0;
        if (idleWaits_ > 3 || waits > 1000)
            throw std::logic_error("the exchange spins: it waits again and again");
        clock_.now = until;
    }

    QString written;
    int waits = 0;

private:
    FakeClock &clock_;
    int idleWaits_ = 0;
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
