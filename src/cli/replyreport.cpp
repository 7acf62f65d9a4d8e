#include "replyreport.h"

#include "commandexchange.h"
#include "escapeline.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QStringList>

namespace
{

QString statusName(ReplyReport::Status status)
{
    switch (status) {
    case ReplyReport::Status::Reply:
        return QStringLiteral("reply");
    case ReplyReport::Status::NoResponse:
        return QStringLiteral("no-response");
    case ReplyReport::Status::BadFcs:
        return QStringLiteral("bad-fcs");
    case ReplyReport::Status::WrongUnit:
        return QStringLiteral("wrong-unit");
    }
    return {};
}

QString escaped(const QString &text)
{
    return QString::fromUtf8(escapeLine(text));
}

// The unit as a frame names it: two upper-case hex digits.
QString unitDigits(qint16 unit)
{
    return QStringLiteral("%1").arg(unit, 2, 16, QLatin1Char('0')).toUpper();
}

// The fix on the command line, where there is one.
QString fix(const ExchangeRecord &record)
{
    using Outcome = ExchangeRecord::Outcome;
    // An ENQ that came with other bytes was an answer: going without the handshake is no fix.
    if (record.outcome == Outcome::HandshakeUnanswered && !record.enqAmongOtherBytes())
        return QStringLiteral(" Does this controller take commands without it? Try "
                              "--no-handshake.");
    if (record.outcome == Outcome::NoClosingCr && !record.endsCrLf())
        return QStringLiteral(" Try a longer --timeout.");
    return {};
}

} // namespace

ReplyReport::ReplyReport(const QString &command, ExchangeRecord record, std::optional<qint16> unit)
    : command(command), record(std::move(record)), unit(unit)
{
    const ExchangeRecord &r = this->record;
    if (!r.reply)
        status = Status::NoResponse;
    else if (unit && r.frameCheckHolds == false)
        status = Status::BadFcs;
    else if (unit && r.frameCheckHolds &&
             r.reply->mid(1, 2).compare(unitDigits(*unit), Qt::CaseInsensitive) != 0)
        status = Status::WrongUnit;
    else
        status = Status::Reply;
}

QByteArray ReplyReport::textLine(bool timestamp) const
{
    const QByteArray time = timestamp ? isoTime(record.started).toLatin1() + ' ' : QByteArray();
    return time + escapeLine(record.reply.value_or(QString())) + '\n';
}

QByteArray ReplyReport::jsonLine() const
{
    // JSON strings hold any character, so the reply goes in as it came, one character per byte.
    QJsonObject object{
        {QStringLiteral("command"), command},
        {QStringLiteral("sent"), record.command},
        {QStringLiteral("reply"), record.reply ? QJsonValue(*record.reply) : QJsonValue()},
        {QStringLiteral("status"), statusName(status)},
        {QStringLiteral("ms"), record.elapsedMs},
        {QStringLiteral("time"), isoTime(record.started)},
        {QStringLiteral("outcome"), outcomeName(record.outcome)},
    };
    if (record.outcome != ExchangeRecord::Outcome::Reply) {
        object.insert(QStringLiteral("received"), escaped(record.received));
        object.insert(QStringLiteral("received_bytes"), record.receivedCount);
    }
    return QJsonDocument(object).toJson(QJsonDocument::Compact) + '\n';
}

QStringList ReplyReport::messages() const
{
    QStringList lines;
    const QString reply = escaped(record.reply.value_or(QString()));
    if (status == Status::NoResponse)
        lines.append(kNoResponseWarning);
    else if (status == Status::BadFcs)
        lines.append(QStringLiteral("the reply \"%1\" fails its frame check").arg(reply));
    else if (status == Status::WrongUnit)
        lines.append(QStringLiteral("the reply \"%1\" names unit %2, not %3")
                         .arg(reply, reply.mid(1, 2), unitDigits(unit.value_or(0))));
    if (status == Status::NoResponse)
        lines.append(exchangeReason(record, escaped) + fix(record));
    const QString prefix = QStringLiteral("\"%1\": ").arg(escaped(command));
    for (QString &line : lines)
        line.prepend(prefix);
    return lines;
}
