#include "entrydetails.h"

#include "bytenotation.h"

EntryDetails::EntryDetails(const ExchangeRecord &record)
    : started_(record.started), port_(record.port), settings_(record.settings),
      command_(record.command), elapsedMs_(record.elapsedMs), outcome_(record.outcome),
      frameCheckFails_(record.frameCheckHolds == false),
      reason_(
          exchangeReason(record, [](const QString &bytes) { return ByteNotation::tagged(bytes); }))
{
}

QString EntryDetails::outcomeMark() const
{
    switch (outcome_) {
    case ExchangeRecord::Outcome::Reply:
        return frameCheckFails_ ? QStringLiteral("bad FCS") : QStringLiteral("reply");
    case ExchangeRecord::Outcome::HandshakeUnanswered:
        return QStringLiteral("no ENQ");
    case ExchangeRecord::Outcome::NoClosingCr:
        return QStringLiteral("no CR");
    case ExchangeRecord::Outcome::Silent:
        return QStringLiteral("silent");
    }
    return {};
}

QString EntryDetails::row() const
{
    return QStringLiteral("%1 %2 ms %3")
        .arg(started_.toString(QStringLiteral("HH:mm:ss.zzz")))
        .arg(elapsedMs_, 5)
        .arg(outcomeMark());
}

QString EntryDetails::text() const
{
    QStringList lines{
        started_.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz")),
        QStringLiteral("%1 at %2").arg(port_, settings_),
        QStringLiteral("Sent: %1").arg(ByteNotation::tagged(command_)),
        QStringLiteral("Round trip: %1 ms").arg(elapsedMs_),
        QStringLiteral("Outcome: %1").arg(outcomeMark()),
    };
    if (!reason_.isEmpty())
        lines.append(reason_);
    return lines.join(u'\n');
}
