#pragma once

#include <QDateTime>
#include <QString>

#include <functional>
#include <optional>

// One command's exchange as it happened: what went out on which line, when, how long the
// controller took, and how it ended. The window draws it and vantrel-send prints it; neither
// works it out again.
struct ExchangeRecord {
    enum class Outcome {
        // A reply up to its closing CR; an empty one when the controller answered a bare CR.
        Reply,
        // No lone ENQ came back before the deadline, so the command was not sent.
        HandshakeUnanswered,
        // Bytes came after the command, but no closing CR before the deadline.
        NoClosingCr,
        // Nothing came after the command.
        Silent,
    };

    // How much of what came is kept to be shown; the rest is only counted.
    static constexpr qsizetype kReceivedKept = 256;

    // The command as sent, without its CR.
    QString command;
    // The line it ran on: "COM1 (/dev/ttyS0)" and "9600,N,8,1".
    QString port;
    QString settings;
    // Local time, to the millisecond, when the exchange began (the port ready, nothing sent).
    QDateTime started;
    // Milliseconds on the tick clock from then until the reply or the deadline.
    qint64 elapsedMs = 0;
    // The timeout of the wait that ended the exchange (the handshake's or the reply's).
    qint64 waitedMs = 0;
    Outcome outcome = Outcome::Silent;
    // Set exactly for Reply.
    std::optional<QString> reply;
    // Set only when an "@" command got a reply that is a frame: whether its FCS holds.
    std::optional<bool> frameCheckHolds;
    // What came during the wait that ended the exchange: its first kReceivedKept characters, and
    // how many came in all.
    QString received;
    qint64 receivedCount = 0;
    // Input left over from another port, dropped before this command went out.
    qint64 leftoverDropped = 0;
    // Input that came while no command waited, beyond the little that is kept, and was dropped.
    qint64 inputDropped = 0;

    // What the bytes received tell of the cause. An ENQ among other bytes was the controller's
    // answer to the handshake, with late input in the same read. Bytes kept whole that end in LF
    // are a reply that ends CR LF; others without a CR were most likely cut off by the deadline.
    bool enqAmongOtherBytes() const;
    bool endsCrLf() const;
};

// Renders bytes (one character each) for the operator: the window as tags (‹CR›), vantrel-send
// as escapes (\r).
using ByteRenderer = std::function<QString(const QString &bytes)>;

// The outcome in plain words, with its usual cause, and what was dropped; empty for a sound
// reply with nothing dropped. The one place this wording lives: a front end adds only its own
// fix ("try --no-handshake").
QString exchangeReason(const ExchangeRecord &record, const ByteRenderer &render);

// "reply", "handshake-unanswered", "no-closing-cr" or "silent", for transcripts and JSON.
QString outcomeName(ExchangeRecord::Outcome outcome);

// ISO 8601 with milliseconds and the offset written out: "2026-12-07T19:33:22.123+00:00".
QString isoTime(const QDateTime &time);
