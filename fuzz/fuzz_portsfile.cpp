// Any ports file against properties of its format rather than a second reader: a device found
// is the value of a COMn= line, free of control characters and comments; a comment added to that
// line changes nothing; a second line with another device, a control character in the path or
// the loss of the section headers each turn the mapping into a refusal, never into a default; a
// file past 64 KiB is refused whole; every message is printable.
#include "fuzzinput.h"
#include "portmap.h"
#include "portsfile.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>

namespace
{

bool printable(const QString &text)
{
    return std::none_of(text.begin(), text.end(), [](QChar c) {
        return c.unicode() < 0x20 || (c.unicode() >= 0x7F && c.unicode() <= 0x9F);
    });
}

// What the file says about the port with its line `at` replaced by `with`; with no line given,
// with every section header left out.
std::optional<PortsFile::Entry> entryAfter(QList<QByteArray> lines, int port, qsizetype at = -1,
                                           const QList<QByteArray> &with = {})
{
    if (at < 0)
        lines.removeIf(
            [](const QByteArray &l) { return QString::fromUtf8(l).trimmed().startsWith(u'['); });
    else
        lines = lines.mid(0, at) + with + lines.mid(at + 1);
    return PortsFile::parse(u"ports.conf"_qs, lines.join('\n')).entry(port);
}

bool refused(const std::optional<PortsFile::Entry> &entry)
{
    return entry && !entry->problem.isEmpty() && entry->device.isEmpty();
}

void checkDevice(const QList<QByteArray> &lines, int port, const QString &device, int line,
                 char control)
{
    const qsizetype at = line - 1;
    const QString text = QString::fromUtf8(lines[at]);
    const QByteArray com = QByteArray("COM") + QByteArray::number(port);
    const qsizetype equals = text.indexOf(u'=');
    const qsizetype start = text.indexOf(device, equals + 1);
    const QString value = text.mid(equals + 1).trimmed();
    expectSame(text.trimmed().section(u'=', 0, 0).trimmed() == com && start > equals &&
                   device.startsWith(u'/') && printable(device),
               true, "a device is the path on its own COMn= line");
    static const QRegularExpression comment(u"[ \t][#;]"_qs);
    expectSame(!value.startsWith(u'"') && device.contains(comment), false,
               "comments never reach the path");
    expectSame(entryAfter(lines, port, at, {lines[at] + " #x"}).value_or(PortsFile::Entry{}).device,
               device, "a comment after the device changes nothing");
    expectSame(refused(entryAfter(lines, port, at, {lines[at], com + '=' + device.toUtf8() + 'x'})),
               true, "a second line with another device is refused");
    // Inside the path, where no blank around it could end it.
    expectSame(refused(entryAfter(lines, port, at,
                                  {QString(text).insert(start + 1, QChar(control)).toUtf8()})),
               true, "a control character in the path is refused");
    expectSame(refused(entryAfter(lines, port)), true, "a line outside any section is refused");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static QTemporaryDir home;
    static const bool configured = qputenv("XDG_CONFIG_HOME", QFile::encodeName(home.path())) &&
                                   qputenv("XDG_CONFIG_DIRS", "/nonexistent") &&
                                   QDir(home.path()).mkpath(u"vantrel"_qs);
    FuzzInput input{data, size};
    const int port = 1 + input.byte() % 4;
    qunsetenv(qPrintable(QStringLiteral("VANTREL_COM%1").arg(port)));
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

    const std::optional<PortsFile::Entry> entry =
        PortsFile::parse(u"ports.conf"_qs, text).entry(port);
    expectSame(!entry || (printable(entry->problem) &&
                          entry->device.isEmpty() != entry->problem.isEmpty()),
               true, "a port has a device or a printable problem");
    if (entry && !entry->device.isEmpty() && text.size() < 8192)
        checkDevice(text.split('\n'), port, entry->device, entry->line, control);

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
