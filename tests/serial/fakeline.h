#pragma once

#include "commandexchange.h"
#include "serialline.h"
#include "tickclock.h"

#include <QString>
#include <map>
#include <stdexcept>
#include <utility>

// A clock that moves only when the fake line waits; its wall clock starts at `wall`.
class FakeClock final : public TickClock
{
public:
    qint64 now = 0;
    QDateTime wall = QDateTime(QDate(2026, 12, 7), QTime(19, 33, 22, 123));
    qint64 ticks() const override { return now; }
    QDateTime wallClock() const override { return wall.addMSecs(now); }
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
        const auto due = arrivals_.upper_bound(clock_.now);
        for (auto arrival = arrivals_.begin(); arrival != due; ++arrival)
            taken += arrival->second;
        arrivals_.erase(arrivals_.begin(), due);
        return taken;
    }

    // Throws after more waits than any exchange needs (one per arrival and deadline): a caller
    // waiting in tiny steps, or for no time at all, spins on a real port and would hang here.
    void waitForInput(qint64 msecs) override
    {
        if (++waits_ > 10)
            throw std::logic_error("the exchange spins: it waits again and again");
        const qint64 until = clock_.now + msecs;
        clock_.now = arrivals_.empty() ? until : std::min(until, arrivals_.begin()->first);
    }

    QString portDescription() const override { return port; }
    QString Settings() const override { return QStringLiteral("9600,N,8,1"); }
    qint64 takeDroppedInput() override { return std::exchange(dropped, 0); }

    QString written;
    QString port = QStringLiteral("COM1 (/dev/ttyS0)");
    qint64 dropped = 0;

private:
    FakeClock &clock_;
    int waits_ = 0;
    std::map<qint64, QString> arrivals_;
};

// The front end's side of the exchange: a timeout text and a count of calls to ready the port.
class FakeSetup final : public ExchangeSetup
{
public:
    QString timeOut = QStringLiteral("500 ");
    int opens = 0;
    QString timeOutText() const override { return timeOut; }
    void makePortReady() override { ++opens; }
};
