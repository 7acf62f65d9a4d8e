#include "exchangerecord.h"

#include "escapeline.h"
#include "framing.h"

#include <QJsonDocument>
#include <QJsonObject>

#include <cmath>

namespace
{

QString statusName(ReplyStatus status)
{
    switch (status) {
    case ReplyStatus::Reply:
        return QStringLiteral("reply");
    case ReplyStatus::NoResponse:
        return QStringLiteral("no-response");
    case ReplyStatus::BadFcs:
        return QStringLiteral("bad-fcs");
    }
    return {};
}

} // namespace

ReplyStatus judgeReply(const QString &reply, bool checkFrames)
{
    if (reply.isEmpty())
        return ReplyStatus::NoResponse;
    if (checkFrames && reply.startsWith(QLatin1Char('@')) && !frameCheckHolds(reply))
        return ReplyStatus::BadFcs;
    return ReplyStatus::Reply;
}

QByteArray textLine(const ExchangeRecord &record)
{
    return escapeLine(record.reply) + '\n';
}

QByteArray jsonLine(const ExchangeRecord &record)
{
    // JSON strings hold any character, so the reply goes in as it came, one character per byte.
    const QJsonObject object{
        {QStringLiteral("command"), record.command},
        {QStringLiteral("sent"), record.sent},
        {QStringLiteral("reply"),
         record.reply.isEmpty() ? QJsonValue(QJsonValue::Null) : QJsonValue(record.reply)},
        {QStringLiteral("status"), statusName(record.status)},
        {QStringLiteral("ms"), std::round(record.ms * 10) / 10},
    };
    return QJsonDocument(object).toJson(QJsonDocument::Compact) + '\n';
}
