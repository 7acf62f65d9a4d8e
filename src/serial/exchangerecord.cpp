#include "exchangerecord.h"

#include <QStringList>

namespace
{

QString byteCount(qint64 count)
{
    return count == 1 ? QStringLiteral("1 byte") : QStringLiteral("%1 bytes").arg(count);
}

// What came, rendered; cut short ("...") when more came than was kept.
QString shown(const ExchangeRecord &record, const ByteRenderer &render)
{
    const bool cut = record.receivedCount > record.received.size();
    return render(record.received) + (cut ? QStringLiteral("...") : QString());
}

QString outcomeReason(const ExchangeRecord &record, const ByteRenderer &render)
{
    using Outcome = ExchangeRecord::Outcome;
    switch (record.outcome) {
    case Outcome::Reply:
        if (record.frameCheckHolds == false)
            return QStringLiteral("The reply fails its frame check: it was garbled on the way, or "
                                  "the controller computes the FCS differently.");
        return {};
    case Outcome::HandshakeUnanswered:
        if (record.receivedCount == 0)
            return QStringLiteral("The controller did not answer the ENQ handshake: nothing came "
                                  "in %1 ms, so the command was not sent.")
                .arg(record.waitedMs);
        if (record.enqAmongOtherBytes())
            return QStringLiteral("The controller answered the ENQ handshake, but not with a lone "
                                  "ENQ: %1 came: %2; the command was not sent. Often the rest of "
                                  "a late reply to the command before came with the ENQ: a longer "
                                  "timeout helps.")
                .arg(byteCount(record.receivedCount), shown(record, render));
        return QStringLiteral("The controller did not answer the ENQ handshake: %1 came instead "
                              "of a lone ENQ: %2; the command was not sent.")
            .arg(byteCount(record.receivedCount), shown(record, render));
    case Outcome::NoClosingCr: {
        const QString late = QStringLiteral("does the controller answer later than %1 ms?");
        const QString cause = record.endsCrLf()
                                  ? QStringLiteral("does the controller end replies with CR LF?")
                                  : late.arg(record.waitedMs);
        return QStringLiteral("%1 came without a closing CR: %2 - %3 They are kept and put in "
                              "front of the next reply.")
            .arg(byteCount(record.receivedCount), shown(record, render), cause);
    }
    case Outcome::Silent:
        return QStringLiteral("Nothing came in %1 ms after the command: is the controller "
                              "connected to %2, switched on, and set to %3?")
            .arg(QString::number(record.waitedMs), record.port, record.settings);
    }
    return {};
}

} // namespace

bool ExchangeRecord::enqAmongOtherBytes() const
{
    return outcome == Outcome::HandshakeUnanswered && received.contains(QChar(5));
}

bool ExchangeRecord::endsCrLf() const
{
    return outcome == Outcome::NoClosingCr && receivedCount == received.size() &&
           received.endsWith(QLatin1Char('\n'));
}

QString exchangeReason(const ExchangeRecord &record, const ByteRenderer &render)
{
    QStringList sentences{outcomeReason(record, render)};
    if (record.leftoverDropped > 0)
        sentences.append(QStringLiteral("%1 left over from another port were dropped.")
                             .arg(byteCount(record.leftoverDropped)));
    if (record.inputDropped > 0)
        sentences.append(QStringLiteral("%1 that came while no command waited were dropped.")
                             .arg(byteCount(record.inputDropped)));
    sentences.removeAll(QString());
    return sentences.join(QLatin1Char(' '));
}

QString outcomeName(ExchangeRecord::Outcome outcome)
{
    switch (outcome) {
    case ExchangeRecord::Outcome::Reply:
        return QStringLiteral("reply");
    case ExchangeRecord::Outcome::HandshakeUnanswered:
        return QStringLiteral("handshake-unanswered");
    case ExchangeRecord::Outcome::NoClosingCr:
        return QStringLiteral("no-closing-cr");
    case ExchangeRecord::Outcome::Silent:
        return QStringLiteral("silent");
    }
    return {};
}

QString isoTime(const QDateTime &time)
{
    // Qt writes an offset of zero as "Z"; a log read side by side with others wants it as digits.
    const int offset = time.offsetFromUtc();
    const int minutes = std::abs(offset) / 60;
    return time.toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss.zzz")) + (offset < 0 ? u'-' : u'+') +
           QStringLiteral("%1:%2")
               .arg(minutes / 60, 2, 10, QLatin1Char('0'))
               .arg(minutes % 60, 2, 10, QLatin1Char('0'));
}
