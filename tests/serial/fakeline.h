#pragma once

#include "commandexchange.h"
#include "serialline.h"
#include "tickclock.h"

#include <QList>
#include <QString>
#include <map>
#include <stdexcept>
#include <tuple>

// A line for the exchange's tests, with the clock it moves only when it waits: to the next
// scripted arrival or to the end of the wait. Input due at the same time is one read. It is
// also the front end's side of the exchange: a timeout text, and a count of calls to ready the
// port.
class FakeLine final : public SerialLine, public TickClock, public ExchangeSetup
{
public:
    qint64 now = 0;
    const QDateTime wall = QDateTime(QDate(2026, 12, 7), QTime(19, 33, 22, 123));
    QString timeOut = QStringLiteral("500 ");
    int opens = 0;
    QString written;
    // What went out ('>') and came in ('<'), in order, with the time.
    QList<std::tuple<qint64, char, QString>> log;

    void arriveAt(qint64 at, const QString &text) { arrivals_[at] += text; }
    bool inputDue() const { return !arrivals_.empty() && arrivals_.begin()->first <= now; }

    qint64 ticks() const override { return now; }
    QDateTime wallClock() const override { return wall.addMSecs(now); }
    QString timeOutText() const override { return timeOut; }
    // An exchange waits at most once for each arrival and for each of its two deadlines.
    void makePortReady() override { ++opens, waitsAllowed_ += 2 + arrivals_.size(); }
    QString portDescription() const override { return QStringLiteral("COM1 (/dev/ttyS0)"); }
    QString Settings() const override { return QStringLiteral("9600,N,8,1"); }
    qint64 takeDroppedInput() override { return 0; }

    void setOutput(const QString &text) override
    {
        written += text;
        log.append({now, '>', text});
    }

    QString Input() override
    {
        QString taken;
        for (; inputDue(); arrivals_.erase(arrivals_.begin()))
            taken += arrivals_.begin()->second;
        if (!taken.isEmpty())
            log.append({now, '<', taken});
        return taken;
    }

    // Throws after more waits than the exchanges need: a caller waiting in tiny steps, or for no
    // time at all, spins on a real port and would hang here.
    void waitForInput(qint64 msecs) override
    {
        if (++waits_ > waitsAllowed_)
            throw std::logic_error("the exchange spins: it waits again and again");
        now = arrivals_.empty() ? now + msecs : std::min(now + msecs, arrivals_.begin()->first);
    }

private:
    std::size_t waits_ = 0;
    std::size_t waitsAllowed_ = 0;
    std::map<qint64, QString> arrivals_;
};
