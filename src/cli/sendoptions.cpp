#include "sendoptions.h"

#include "failure.h"

#include <QCommandLineParser>
#include <QRegularExpression>

namespace
{

const QCommandLineOption kPort({"p", "port"}, "COMn (default COM1) or a device path.", "port");
const QCommandLineOption kSettings({"s", "settings"}, "Line settings (default 9600,N,8,1).",
                                   "settings");
const QCommandLineOption kTimeOut({"t", "timeout"}, "Handshake and reply timeout (default 500).",
                                  "ms");
const QCommandLineOption kUnit({"u", "unit"}, "Frame commands for unit N; check reply FCS.", "N");
const QCommandLineOption kNoHandshake("no-handshake", "Send commands without the ENQ handshake.");
const QCommandLineOption kJson("json", "One JSON object per command, with time and outcome.");
const QCommandLineOption kTimestamp("timestamp", "Put the time before each reply line.");
const QCommandLineOption kStopOnNoReply("stop-on-no-reply",
                                        "Send nothing more after a command without a reply.");
const QCommandLineOption kListPorts("list-ports", "List COM1..COM6 and serial devices; exit.");
const QCommandLineOption kHelp({"h", "help"}, "Show this help and exit.");
const QCommandLineOption kVersion("version", "Show the version and exit.");

const char *const kDescription =
    "Sends commands to a PLC over a serial line, as vantrel does, and prints one\n"
    "line per reply: escaped, \\xHH for control bytes; an empty line when none came.";

const char *const kExitStatuses = "\nExit status:\n"
                                  "  0      every command got a reply (with a good FCS)\n"
                                  "  1      a command got no reply, or a reply with a bad FCS\n"
                                  "  2      failure: bad option, port not opened, device gone\n"
                                  "  128+N  ended by signal N (130 for Ctrl-C, 143 for SIGTERM)\n";

void describe(QCommandLineParser &parser)
{
    parser.setApplicationDescription(QString::fromLatin1(kDescription));
    parser.addOptions({kPort, kSettings, kTimeOut, kUnit, kNoHandshake, kJson, kTimestamp,
                       kStopOnNoReply, kListPorts, kHelp, kVersion});
    parser.addPositionalArgument("COMMAND", "In order; with none, lines of standard input.",
                                 "[COMMAND...]");
}

[[noreturn]] void refuse(const QString &why)
{
    throw Failure(why + QStringLiteral("\nTry 'vantrel-send --help'."));
}

void readPort(const QString &port, SendOptions &options)
{
    if (port.contains(QLatin1Char('/'))) {
        options.devicePath = port;
        return;
    }
    static const QRegularExpression comPort(QStringLiteral("^COM([1-9][0-9]{0,4})$"),
                                            QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch match = comPort.match(port);
    const int number = match.hasMatch() ? match.captured(1).toInt() : 0;
    if (number < 1 || number > 32767)
        refuse(QStringLiteral("The port \"%1\" is neither COMn, such as COM3, nor a device path, "
                              "such as /dev/ttyUSB0.")
                   .arg(port));
    options.comPort = static_cast<qint16>(number);
}

qint16 readUnit(const QString &text)
{
    bool ok = false;
    const int unit = text.toInt(&ok);
    if (!ok || unit < 0 || unit > 32767)
        refuse(QStringLiteral("The unit \"%1\" is not a whole number from 0 to 32767.").arg(text));
    return static_cast<qint16>(unit);
}

} // namespace

SendOptions parseSendOptions(const QStringList &arguments)
{
    QCommandLineParser parser;
    describe(parser);
    if (!parser.parse(arguments))
        refuse(parser.errorText());

    SendOptions options;
    options.help = parser.isSet(kHelp);
    options.version = parser.isSet(kVersion);
    options.listPorts = parser.isSet(kListPorts);
    options.json = parser.isSet(kJson);
    options.timestamp = parser.isSet(kTimestamp);
    options.stopOnNoReply = parser.isSet(kStopOnNoReply);
    options.handshake = !parser.isSet(kNoHandshake);
    if (parser.isSet(kPort))
        readPort(parser.value(kPort), options);
    if (parser.isSet(kSettings))
        options.settings = parser.value(kSettings);
    if (parser.isSet(kTimeOut))
        options.timeOut = parser.value(kTimeOut);
    if (parser.isSet(kUnit))
        options.unit = readUnit(parser.value(kUnit));
    options.commands = parser.positionalArguments();
    return options;
}

QString sendHelpText()
{
    QCommandLineParser parser;
    describe(parser);
    // Qt names the program by the path it was started with; the usage line names it plainly.
    QString text = parser.helpText();
    text.replace(0, text.indexOf(QLatin1String(" [options]")),
                 QStringLiteral("Usage: vantrel-send"));
    return text + QString::fromLatin1(kExitStatuses);
}
