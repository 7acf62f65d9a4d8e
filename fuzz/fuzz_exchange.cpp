// Up to three commands over a fake line whose input arrives at times drawn from the fuzzer,
// against the exchange's rules as properties of what the line saw: ENQ unless the command
// starts with "@", then the command and CR once a read that is a lone ENQ answers it; each wait
// ends at its deadline, or before it at a lone ENQ or at the end of a reply, having read all
// that was due; the reply is all input read since the last one, up to the CR that ends a read,
// and input without a closing CR waits for the next command; the record tells how it ended.
#include "fakeline.h"
#include "fuzzinput.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    using Outcome = ExchangeRecord::Outcome;
    const QString enq(QChar(5)), cr(QChar(13));
    FuzzInput in{data, size};
    FakeLine line;
    CommandExchange exchange(line, line, line);
    for (int commands = 1 + in.byte() % 3; commands > 0; --commands) {
        // Latin-1 text, with or without the handshake, under a timeout from -128 to 127 ms
        // (refusals are for the unit tests).
        const uint8_t shape = in.byte();
        const qint8 timeout = qint8(in.byte());
        const QString command =
            (shape & 8 ? u"@"_qs : QString()) + QString::fromLatin1(in.text(shape & 7).toLatin1());
        // Up to seven pieces of input, 0 to 255 ms apart, mostly ENQ, CR and LF so that
        // handshakes and reply ends are common; what comes late is the next command's.
        for (qint64 pieces = in.byte() % 8, at = line.now; pieces > 0; --pieces) {
            QString piece = in.text(in.byte() % 6);
            for (QChar &c : piece)
                c = c.unicode() < 0xC0 ? QChar(u"\x05\r\n"[c.unicode() % 3]) : c;
            line.arriveAt(at += in.byte(), piece);
        }
        const qint64 start = line.now;
        const qsizetype seen = line.log.size(), wrote = line.written.size();
        const QString leftover = exchange.state().receiveBuffer;
        exchange.setEnqHandshake(!(shape & 16));
        line.timeOut = QString::number(timeout);
        const ExchangeRecord record = exchange.run(command);

        // What the line saw before the command went out, and after.
        QStringList handshakeReads, replyReads;
        qint64 sentAt = -1;
        for (const auto &[at, direction, text] : line.log.mid(seen)) {
            sentAt = direction == '>' && text != enq ? at : sentAt;
            if (direction == '<')
                (sentAt < 0 ? handshakeReads : replyReads) += text;
        }
        const bool shakes = !(shape & 16) && !command.startsWith(u'@');
        const bool answered = !shakes || handshakeReads.contains(enq);
        expectSame(line.written.mid(wrote),
                   (shakes ? enq : QString()) + (answered ? command + cr : QString()),
                   "ENQ unless @, then the command and CR after a lone ENQ");

        const QString gathered = leftover + replyReads.join(QString());
        const bool replied = gathered.endsWith(cr);
        expectSame(QStringList{record.reply.value_or(QString()), exchange.state().lastResponse,
                               exchange.state().receiveBuffer},
                   replied ? QStringList{gathered.chopped(1), gathered.chopped(1), QString()}
                           : QStringList{QString(), QString(), gathered},
                   "the reply is all input since the last, less its CR; or the input waits");

        const qint64 handshakeWait = timeout < 1 ? 1000 : timeout;
        const qint64 deadline =
            sentAt < 0 ? start + handshakeWait : sentAt + (timeout < 1 ? 500 : timeout);
        expectSame(sentAt - start <= handshakeWait &&
                       (replied ? line.now <= deadline : line.now == deadline) && !line.inputDue(),
                   true, "a wait ends at its deadline or its input, and reads all that is due");

        const QString came = (sentAt < 0 ? handshakeReads : replyReads).join(QString());
        const Outcome outcome = sentAt < 0       ? Outcome::HandshakeUnanswered
                                : replied        ? Outcome::Reply
                                : came.isEmpty() ? Outcome::Silent
                                                 : Outcome::NoClosingCr;
        expectSame(QList<qint64>{qint64(record.outcome), record.reply.has_value(), record.elapsedMs,
                                 record.receivedCount},
                   QList<qint64>{qint64(outcome), replied, line.now - start, came.size()},
                   "the record tells how it ended, when, and how much came");
    }
    return 0;
}
