#pragma once

#include <QByteArray>
#include <QString>

// What came of one command.
enum class ReplyStatus { Reply, NoResponse, BadFcs };

// One command's exchange as it is reported on standard output.
struct ExchangeRecord {
    QString command;
    // The text put on the wire without its CR: the command, framed under --unit.
    QString sent;
    // Empty when no reply came.
    QString reply;
    ReplyStatus status = ReplyStatus::NoResponse;
    double ms = 0;
};

// An empty reply is none; with checkFrames, a reply that is a frame (starts with "@") must
// carry a good FCS.
ReplyStatus judgeReply(const QString &reply, bool checkFrames);

// The reply, escaped to one line; an empty line when none came.
QByteArray textLine(const ExchangeRecord &record);

// One JSON object on one line: command, sent, reply (null when none came), status, ms.
QByteArray jsonLine(const ExchangeRecord &record);
