#pragma once

#include "exchangerecord.h"

#include <QTextBlockUserData>

// What the log knows about an entry it logged for an exchange, beside the entry's text: when,
// on which line, the command as sent, how long the controller took, and how the exchange ended,
// in plain words. Kept with the entry's first block, so it goes when the entry goes; the log's
// text holds none of it.
class EntryDetails final : public QTextBlockUserData
{
public:
    explicit EntryDetails(const ExchangeRecord &record);

    // "20:13:05.123  12 ms  reply": one short row for the details margin.
    QString row() const;

    // Every detail, one to a line, for the tool tip and the screen reader.
    QString text() const;

private:
    QString outcomeMark() const;

    QDateTime started_;
    QString port_;
    QString settings_;
    QString command_;
    qint64 elapsedMs_ = 0;
    ExchangeRecord::Outcome outcome_;
    bool frameCheckFails_ = false;
    QString reason_;
};
