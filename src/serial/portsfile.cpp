#include "portsfile.h"

#include "escapeline.h"
#include "systemfiles.h"

#include <QList>
#include <QRegularExpression>

namespace
{

// How much of a line a message quotes: enough to recognise it, never a whole file.
constexpr qsizetype kQuotedLength = 80;

bool isBlank(QChar c)
{
    return c == u' ' || c == u'\t';
}

bool isControl(QChar c)
{
    return c.unicode() < 0x20 || (c.unicode() >= 0x7F && c.unicode() <= 0x9F);
}

// The line as the operator can find it in the file, with control characters written out.
QString where(const QString &path, int number, const QString &line)
{
    QString shown = QString::fromUtf8(escapeLine(line));
    if (shown.size() > kQuotedLength)
        shown = shown.left(kQuotedLength - 3) + QStringLiteral("...");
    return QStringLiteral("%1, line %2 \"%3\"").arg(path).arg(number).arg(shown);
}

// The port a line names, however badly ("com 02 /dev/x" names COM2); nothing when it names none
// that can be asked for.
std::optional<int> namedPort(const QString &line)
{
    static const QRegularExpression names(QStringLiteral(R"(^COM\s*0*([0-9]+))"),
                                          QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch match = names.match(line);
    bool ok = false;
    const int port = match.hasMatch() ? match.captured(1).toInt(&ok) : 0;
    return ok ? std::optional(port) : std::nullopt;
}

// The device that follows "=", or why there is none.
PortsFile::Entry readDevice(QString value, int port, const QString &at)
{
    const auto refused = [&](const QString &why) { return PortsFile::Entry{0, {}, at + why}; };
    QString device;
    if (value.startsWith(u'"')) {
        const qsizetype close = value.indexOf(u'"', 1);
        if (close < 0)
            return refused(QStringLiteral(" has no closing quote"));
        device = value.mid(1, close - 1);
        const QString rest = value.mid(close + 1).trimmed();
        if (!rest.isEmpty() && !rest.startsWith(u'#') && !rest.startsWith(u';'))
            return refused(QStringLiteral(" has text after the closing quote"));
    } else {
        for (qsizetype i = 0; i < value.size(); ++i)
            if ((value[i] == u'#' || value[i] == u';') && (i == 0 || isBlank(value[i - 1]))) {
                value.truncate(i);
                break;
            }
        device = value.trimmed();
    }
    if (device.isEmpty())
        return refused(QStringLiteral(" gives no device, such as COM%1=/dev/ttyUSB0").arg(port));
    for (const QChar c : device)
        if (isControl(c))
            return refused(QStringLiteral(" has the control character %1 in its device path")
                               .arg(QString::fromUtf8(escapeLine(c))));
    if (!device.startsWith(u'/'))
        return refused(QStringLiteral(" does not name a device by its full path, such as "
                                      "COM%1=/dev/ttyUSB0")
                           .arg(port));
    return {0, device, {}};
}

// One line of the [ports] section, for the port it names.
PortsFile::Entry readLine(const QString &line, int port, const QString &at, bool utf8)
{
    static const QRegularExpression entry(QStringLiteral(R"(^COM([1-9][0-9]*)\s*=)"));
    const QRegularExpressionMatch match = entry.match(line);
    if (!utf8)
        return {0, {}, at + QStringLiteral(" is not UTF-8 text")};
    if (!match.hasMatch())
        return {0, {}, at + QStringLiteral(" is not of the form COM%1=DEVICE").arg(port)};
    return readDevice(line.mid(match.capturedEnd()).trimmed(), port, at);
}

bool isPortsHeader(const QString &line)
{
    return line.mid(1).section(u']', 0, 0).trimmed().compare(u"ports", Qt::CaseInsensitive) == 0;
}

// The port's lines in [ports] decide together: a refused line refuses the port, and so do two
// devices, since either may be the one meant.
PortsFile::Entry decide(const QList<PortsFile::Entry> &lines, const QString &path, int port)
{
    const PortsFile::Entry &first = lines.first();
    for (const PortsFile::Entry &line : lines)
        if (!line.problem.isEmpty())
            return line;
    for (const PortsFile::Entry &line : lines)
        if (line.device != first.device)
            return {line.line,
                    {},
                    QStringLiteral("%1, line %2 maps COM%3 to %4, but line %5 maps it to %6; "
                                   "keep one of the two")
                        .arg(path)
                        .arg(line.line)
                        .arg(port)
                        .arg(line.device)
                        .arg(first.line)
                        .arg(first.device)};
    return first;
}

} // namespace

PortsFile PortsFile::read(const QString &path)
{
    const SystemFiles::SmallFile file = SystemFiles::readSmallFile(path, kMaxSize);
    PortsFile ports = parse(path, file.bytes);
    if (!file.problem.isEmpty())
        ports.problem_ = QStringLiteral("%1 %2").arg(path, file.problem);
    return ports;
}

PortsFile PortsFile::parse(const QString &path, const QByteArray &text)
{
    PortsFile ports;
    ports.path_ = path;
    enum class Section { None, Ports, Other } section = Section::None;
    bool hasPorts = false;
    QHash<int, QList<Entry>> portLines;
    // Lines that name a port outside [ports]: the first for each port, and whether it stands
    // above every section.
    QHash<int, std::pair<Entry, bool>> stray;
    const QList<QByteArray> lines = text.split('\n');
    for (qsizetype index = 0; index < lines.size(); ++index) {
        const int number = int(index) + 1;
        const QString decoded = QString::fromUtf8(lines[index]);
        const QString line = decoded.trimmed();
        if (line.isEmpty() || line.startsWith(u';') || line.startsWith(u'#'))
            continue;
        if (line.startsWith(u'[')) {
            const bool isPorts = isPortsHeader(line);
            section = isPorts ? Section::Ports : Section::Other;
            hasPorts = hasPorts || isPorts;
            continue;
        }
        const std::optional<int> port = namedPort(line);
        const QString at = where(path, number, line);
        if (section != Section::Ports) {
            if (port && !stray.contains(*port))
                stray.insert(*port, {Entry{number, {}, at}, section == Section::None});
            continue;
        }
        Entry entry = readLine(line, port.value_or(0), at, decoded.toUtf8() == lines[index]);
        entry.line = number;
        if (port)
            portLines[*port].append(entry);
        else if (!ports.unnamed_)
            ports.unnamed_ = Entry{number, {}, at};
    }
    for (auto it = portLines.cbegin(); it != portLines.cend(); ++it)
        ports.entries_.insert(it.key(), decide(it.value(), path, it.key()));
    for (auto it = stray.cbegin(); it != stray.cend(); ++it) {
        const auto &[entry, aboveSections] = it.value();
        if ((aboveSections || !hasPorts) && !ports.entries_.contains(it.key()))
            ports.entries_.insert(it.key(),
                                  Entry{entry.line,
                                        {},
                                        entry.problem + QStringLiteral(" is outside the [ports] "
                                                                       "section; put the line "
                                                                       "[ports] above it")});
    }
    return ports;
}

std::optional<PortsFile::Entry> PortsFile::entry(int port) const
{
    if (!problem_.isEmpty())
        return Entry{0, {}, problem_};
    if (const auto found = entries_.constFind(port); found != entries_.cend())
        return *found;
    if (unnamed_)
        return Entry{unnamed_->line,
                     {},
                     unnamed_->problem +
                         QStringLiteral(" is not of the form COM%1=DEVICE").arg(port)};
    return std::nullopt;
}
