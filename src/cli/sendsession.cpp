#include "sendsession.h"

#include "commandsource.h"
#include "failure.h"
#include "framing.h"
#include "latin1.h"
#include "timeouttext.h"

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

void warn(const QStringList &messages)
{
    for (const QString &message : messages)
        std::fprintf(stderr, "vantrel-send: %s\n", qPrintable(message));
}

} // namespace

SendSession::SendSession(const SendOptions &options) : options_(options)
{
    parseTimeout(options_.timeOut);
    port_.setSettings(options_.settings);
    if (options_.devicePath.isEmpty())
        port_.setCommPort(options_.comPort);
    else
        port_.setDevicePath(options_.devicePath);
    exchange_.setEnqHandshake(options_.handshake);
}

void SendSession::makePortReady()
{
    if (!port_.PortOpen())
        port_.setPortOpen(true);
}

QString SendSession::prepare(const QString &command) const
{
    QString sent = command;
    if (options_.unit)
        appendFCS(*options_.unit, sent);
    toWireBytes(sent, QStringLiteral("The command"));
    return sent;
}

int SendSession::run(CommandSource &commands)
{
    // Every command known in advance is checked before the port is opened.
    for (const QString &command : commands.known())
        prepare(command);
    int status = 0;
    while (const std::optional<QString> command = commands.next()) {
        const ReplyReport report(*command, exchange_.run(prepare(*command)), options_.unit);
        writeOut(options_.json ? report.jsonLine() : report.textLine(options_.timestamp));
        warn(report.messages());
        if (report.status != ReplyReport::Status::Reply) {
            status = 1;
            if (options_.stopOnNoReply)
                break;
        }
    }
    return status;
}
