#pragma once

#include "exchangerecord.h"

#include <QByteArray>
#include <QString>

#include <optional>

// What vantrel-send makes of one command's exchange record: its verdict, its line on standard
// output and what it says on standard error.
struct ReplyReport {
    enum class Status { Reply, NoResponse, BadFcs };

    // The command as given, before --unit framed it; the record holds what went out.
    QString command;
    ExchangeRecord record;
    Status status = Status::NoResponse;

    // With unit (--unit), a reply that is a frame must carry a good FCS.
    ReplyReport(const QString &command, ExchangeRecord record, std::optional<qint16> unit);

    // The reply escaped to one line, an empty line when none came; with timestamp, the time and
    // a blank in front.
    QByteArray textLine(bool timestamp) const;

    // One JSON object on one line: command, sent, reply (null when none came), status, ms, time,
    // outcome; for an outcome other than a reply, what came instead (received, escaped, and
    // received_bytes).
    QByteArray jsonLine() const;

    // What standard error gets, one message a line; empty for a good reply.
    QStringList messages() const;
};
