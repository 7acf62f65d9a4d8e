// Any ports file against properties of its format rather than a second reader: a device found
// is the value of a COMn= line of the [ports] section, free of control characters and comments;
// a comment added to that line changes nothing; a second line with another device, a control
// character in the path or the loss of the section header each turn the mapping into a refusal,
// never into a default; a file past 64 KiB is refused whole; every message is printable.
#include "fuzzinput.h"
#include "portmap.h"
#include "portsfile.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

namespace
{

const QString kPath = u"ports.conf"_qs;
using Entry = PortsFile::Entry;

bool printable(const QString &text)
{
    return std::none_of(text.begin(), text.end(), [](QChar c) {
        return c.unicode() < 0x20 || (c.unicode() >= 0x7F && c.unicode() <= 0x9F);
    });
}

std::optional<Entry> entryIn(const QList<QByteArray> &lines, int port)
{
    return PortsFile::parse(kPath, lines.join('\n')).entry(port);
}

bool refused(const std::optional<Entry> &entry)
{
    return entry && !entry->problem.isEmpty() && entry->device.isEmpty();
}

// The file with `line` (0 for the first) replaced by `with`.
QList<QByteArray> changed(QList<QByteArray> lines, qsizetype line, const QList<QByteArray> &with)
{
    lines.remove(line);
    for (qsizetype i = 0; i < with.size(); ++i)
        lines.insert(line + i, with[i]);
    return lines;
}

void checkDevice(const QList<QByteArray> &lines, int port, const Entry &entry, char control)
{
    const qsizetype at = entry.line - 1;
    const QString line = QString::fromUtf8(lines.value(at));
    const QString com = QStringLiteral("COM%1").arg(port);
    const QString trimmed = line.trimmed();
    const qsizetype equals = line.indexOf(u'=');
    const qsizetype start = line.indexOf(entry.device, equals + 1);
    const bool isComLine =
        trimmed.startsWith(com) && trimmed.mid(com.size()).trimmed().startsWith(u'=');
    expectSame(isComLine && equals >= 0 && start > equals && entry.device.startsWith(u'/') &&
                   printable(entry.device),
               true, "a device is the path on its own COMn= line");
    const bool quoted = line.mid(equals + 1).trimmed().startsWith(u'"');
    expectSame(!quoted && (entry.device.contains(u" #") || entry.device.contains(u" ;") ||
                           entry.device.contains(u"\t#") || entry.device.contains(u"\t;")),
               false, "comments never reach the path");
    for (const char *comment : {" #x", "\t;x"}) {
        const std::optional<Entry> commented =
            entryIn(changed(lines, at, {lines[at] + comment}), port);
        expectSame(commented ? commented->device : QString(), entry.device,
                   "a comment after the device changes nothing");
    }
    const QByteArray other = com.toUtf8() + '=' + entry.device.toUtf8() + 'x';
    expectSame(refused(entryIn(changed(lines, at, {lines[at], other}), port)), true,
               "a second line with another device is refused");
    expectSame(entryIn(changed(lines, at, {lines[at], lines[at]}), port).value_or(Entry{}).device,
               entry.device, "a repeated line changes nothing");
    // Inside the path, where no blank around it could end it.
    const QString broken = QString(line).insert(start + 1, QChar(control));
    expectSame(refused(entryIn(changed(lines, at, {broken.toUtf8()}), port)), true,
               "a control character in the path is refused");
    QList<QByteArray> headless = lines;
    headless.removeIf(
        [](const QByteArray &l) { return QString::fromUtf8(l).trimmed().startsWith(u'['); });
    expectSame(refused(PortsFile::parse(kPath, headless.join('\n')).entry(port)), true,
               "a line outside any section is refused");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static QTemporaryDir home;
    static const bool configured = qputenv("XDG_CONFIG_HOME", QFile::encodeName(home.path())) &&
                                   qputenv("XDG_CONFIG_DIRS", "/nonexistent") &&
                                   qunsetenv("VANTREL_COM1") && qunsetenv("VANTREL_COM2") &&
                                   qunsetenv("VANTREL_COM3") && qunsetenv("VANTREL_COM4") &&
                                   QDir(home.path()).mkpath(u"vantrel"_qs);
    FuzzInput input{data, size};
    const int port = 1 + input.byte() % 4;
    // A control character that is no blank and no line break, which trimming would drop.
    const char control = "\x00\x01\x1B\x7F"[input.byte() % 4];
    const uint8_t padding = input.byte();
    QByteArray text(reinterpret_cast<const char *>(input.data), qsizetype(input.size));
    // One file in eight ends in a comment that takes it to within 16 bytes of the limit.
    if (padding % 8 == 0)
        text +=
            '\n' +
            QByteArray(std::max<qsizetype>(0, PortsFile::kMaxSize - 17 - text.size() + padding / 8),
                       '#');

    const QList<QByteArray> lines = text.split('\n');
    const std::optional<Entry> entry = PortsFile::parse(kPath, text).entry(port);
    expectSame(!entry || printable(entry->problem), true, "messages are printable");
    expectSame(!entry || entry->device.isEmpty() != entry->problem.isEmpty(), true,
               "a port has a device or a problem");
    if (entry && !entry->device.isEmpty() && text.size() < 8192)
        checkDevice(lines, port, *entry, control);

    QFile file(home.filePath(u"vantrel/ports.conf"_qs));
    expectSame(configured && file.open(QIODevice::WriteOnly) && file.write(text) == text.size(),
               true, "ports file written");
    file.close();
    const PortMapping mapping = mapPort(port);
    const bool tooLarge = text.size() > PortsFile::kMaxSize;
    expectSame(mapping.problem == file.fileName() + u" is larger than 64 KiB"_qs, tooLarge,
               "a file past 64 KiB is refused whole, and only such a file");
    if (!tooLarge)
        expectSame(mapping.device, entry ? entry->device : u"/dev/ttyS%1"_qs.arg(port - 1),
                   "the file read is the file written; no default after a problem");
    expectSame(printable(mapping.summary()), true, "the summary is printable");
    return 0;
}
