#include "exchangetranscript.h"

#include "bytenotation.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QStringList>

namespace
{

// What a record costs in memory, near enough: its text, two bytes a character, and the rest.
qsizetype sizeOf(const ExchangeRecord &record)
{
    return qsizetype(sizeof(ExchangeRecord)) +
           2 * (record.command.size() + record.port.size() + record.settings.size() +
                record.received.size() + record.reply.value_or(QString()).size());
}

QString reason(const ExchangeRecord &record)
{
    return exchangeReason(record, [](const QString &bytes) { return ByteNotation::tagged(bytes); });
}

QString droppedNote(qint64 dropped)
{
    return QStringLiteral("%1 earlier exchanges were dropped to keep the transcript's memory "
                          "bounded.")
        .arg(dropped);
}

QByteArray csvRow(const QStringList &fields)
{
    QStringList quoted;
    for (const QString &field : fields)
        quoted.append(u'"' + QString(field).replace(u'"', QStringLiteral("\"\"")) + u'"');
    return quoted.join(u',').toUtf8() + "\r\n";
}

} // namespace

void ExchangeTranscript::add(const ExchangeRecord &record)
{
    records_.push_back(record);
    bytes_ += sizeOf(record);
    keepWithinBound();
}

void ExchangeTranscript::setKeptBytes(qsizetype bytes)
{
    keptBytes_ = bytes;
    keepWithinBound();
}

void ExchangeTranscript::keepWithinBound()
{
    while (bytes_ > keptBytes_ && !records_.empty()) {
        bytes_ -= sizeOf(records_.front());
        records_.pop_front();
        ++dropped_;
    }
}

QByteArray ExchangeTranscript::csv() const
{
    QByteArray text = csvRow({"time", "port", "settings", "command", "outcome", "ms", "reply",
                              "received", "received_bytes", "reason"});
    if (dropped_ > 0)
        text += csvRow({"", "", "", "", "dropped", "", "", "", "", droppedNote(dropped_)});
    for (const ExchangeRecord &record : records_)
        text += csvRow({isoTime(record.started), record.port, record.settings, record.command,
                        outcomeName(record.outcome), QString::number(record.elapsedMs),
                        record.reply.value_or(QString()), record.received,
                        QString::number(record.receivedCount), reason(record)});
    return text;
}

QByteArray ExchangeTranscript::jsonLines() const
{
    QByteArray text;
    if (dropped_ > 0)
        text += QJsonDocument(QJsonObject{{"outcome", "dropped"},
                                          {"dropped", dropped_},
                                          {"reason", droppedNote(dropped_)}})
                    .toJson(QJsonDocument::Compact) +
                '\n';
    for (const ExchangeRecord &record : records_) {
        const QJsonObject object{
            {"time", isoTime(record.started)},
            {"port", record.port},
            {"settings", record.settings},
            {"command", record.command},
            {"outcome", outcomeName(record.outcome)},
            {"ms", record.elapsedMs},
            {"reply", record.reply ? QJsonValue(*record.reply) : QJsonValue()},
            {"received", record.received},
            {"received_bytes", record.receivedCount},
            {"reason", reason(record)},
        };
        text += QJsonDocument(object).toJson(QJsonDocument::Compact) + '\n';
    }
    return text;
}
