#include "sendsession.h"

#include "commandsource.h"
#include "escapeline.h"
#include "failure.h"
#include "framing.h"
#include "latin1.h"
#include "timeouttext.h"

#include <QElapsedTimer>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace
{

void writeOut(const QByteArray &line)
{
    // Flushed line by line: a script reading the output sees each reply as it comes.
    if (std::fwrite(line.constData(), 1, line.size(), stdout) != size_t(line.size()) ||
        std::fflush(stdout) != 0)
        throw Failure(QStringLiteral("Standard output cannot be written (%1); nothing more is "
                                     "sent.")
                          .arg(QString::fromLocal8Bit(std::strerror(errno))));
}

void warn(const QString &command, const QString &what)
{
    std::fprintf(stderr, "vantrel-send: \"%s\": %s\n", escapeLine(command).constData(),
                 qPrintable(what));
}

} // namespace

SendSession::SendSession(const SendOptions &options) : options_(options)
{
    parseTimeout(options_.timeOut);
    MSComm1.setSettings(options_.settings);
    if (options_.devicePath.isEmpty())
        MSComm1.setCommPort(options_.comPort);
    else
        MSComm1.setDevicePath(options_.devicePath);
    exchange_.setEnqHandshake(options_.handshake);
}

void SendSession::openPort_Click()
{
    if (!MSComm1.PortOpen())
        MSComm1.setPortOpen(true);
}

QString SendSession::prepare(const QString &command) const
{
    QString sent = command;
    if (options_.unit)
        appendFCS(*options_.unit, sent);
    toWireBytes(sent, QStringLiteral("The command"));
    return sent;
}

ExchangeRecord SendSession::exchange(const QString &command)
{
    ExchangeRecord record;
    record.command = command;
    record.sent = prepare(command);
    // Opened here rather than inside the exchange, so the first command's time is its own.
    openPort_Click();
    QElapsedTimer timer;
    timer.start();
    record.reply = exchange_.sendCommand(record.sent);
    record.ms = timer.nsecsElapsed() / 1e6;
    record.status = judgeReply(record.reply, options_.unit.has_value());
    return record;
}

int SendSession::run(CommandSource &commands)
{
    // Every command known in advance is checked before the port is opened.
    for (const QString &command : commands.known())
        prepare(command);
    int status = 0;
    while (const std::optional<QString> command = commands.next()) {
        const ExchangeRecord record = exchange(*command);
        writeOut(options_.json ? jsonLine(record) : textLine(record));
        if (record.status == ReplyStatus::NoResponse)
            warn(*command, kNoResponseWarning);
        else if (record.status == ReplyStatus::BadFcs)
            warn(*command, QStringLiteral("the reply \"%1\" fails its frame check")
                               .arg(QString::fromUtf8(escapeLine(record.reply))));
        if (record.status != ReplyStatus::Reply)
            status = 1;
    }
    return status;
}
