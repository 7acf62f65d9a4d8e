#pragma once

#include "exchangerecord.h"

#include <QByteArray>

#include <deque>

// Every exchange of the session, for Save Transcript As: time, line, command, the reply's bytes
// and how it ended. Clear leaves it alone. A session can run for days, so what it keeps is
// bounded: past the bound the oldest exchanges go, and the saved transcript says how many.
class ExchangeTranscript
{
public:
    // Some tens of thousands of ordinary exchanges, or a few replies of megabytes.
    static constexpr qsizetype kKeptBytes = qsizetype(32) << 20;

    void add(const ExchangeRecord &record);
    void setKeptBytes(qsizetype bytes);

    // As CSV (RFC 4180, UTF-8; a header row, then one row per exchange), or as JSON lines (one
    // object per exchange). Text fields hold the bytes as they came, one character each.
    QByteArray csv() const;
    QByteArray jsonLines() const;

private:
    void keepWithinBound();

    std::deque<ExchangeRecord> records_;
    qsizetype keptBytes_ = kKeptBytes;
    qsizetype bytes_ = 0;
    qint64 dropped_ = 0;
};
