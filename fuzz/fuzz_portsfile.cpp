// Any ports file against properties of its format rather than a second reader: a port has a
// device or a printable problem; a device found is the path on the port's own COMn= line; a
// comment added after it changes nothing; a second line with another device, a control
// character in the path or the loss of the section headers each turn the mapping into a
// refusal, never into a default.
#include "fuzzinput.h"
#include "portsfile.h"

#include <QRegularExpression>

static bool printable(const QString &text)
{
    static const QRegularExpression control(u"[\\x{0}-\\x{1F}\\x{7F}-\\x{9F}]"_qs);
    return !text.contains(control);
}

// The device the file maps the port to with its line `at` replaced by `with` (with no line given,
// with every section header left out): empty for a refusal, "default" when the file says nothing.
static QString deviceAfter(QList<QByteArray> lines, int port, qsizetype at = -1,
                           const QList<QByteArray> &with = {})
{
    if (at < 0)
        lines.removeIf(
            [](const QByteArray &l) { return QString::fromUtf8(l).trimmed().startsWith(u'['); });
    else
        lines = lines.mid(0, at) + with + lines.mid(at + 1);
    const auto entry = PortsFile::parse(u"ports.conf"_qs, lines.join('\n')).entry(port);
    return entry ? entry->device : u"default"_qs;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzInput input{data, size};
    const int port = 1 + input.byte() % 4;
    // A control character that is no blank and no line break, which trimming would drop.
    const char control = "\x00\x01\x1B\x7F"[input.byte() % 4];
    const QByteArray text(reinterpret_cast<const char *>(input.data), qsizetype(input.size));
    const auto entry = PortsFile::parse(u"ports.conf"_qs, text).entry(port);
    expectSame(!entry || (printable(entry->problem) &&
                          entry->device.isEmpty() != entry->problem.isEmpty()),
               true, "a port has a device or a printable problem");
    if (!entry || entry->device.isEmpty())
        return 0;

    const QList<QByteArray> lines = text.split('\n');
    const qsizetype at = entry->line - 1;
    const QString line = QString::fromUtf8(lines[at]);
    const QByteArray com = "COM" + QByteArray::number(port);
    const qsizetype start = line.indexOf(entry->device, line.indexOf(u'=') + 1);
    expectSame(line.section(u'=', 0, 0).trimmed() == com && start > 0 &&
                   entry->device.startsWith(u'/') && printable(entry->device),
               true, "a device is the path on its own COMn= line");
    expectSame(deviceAfter(lines, port, at, {lines[at] + " #x"}), entry->device,
               "a comment after the device changes nothing");
    expectSame(deviceAfter(lines, port, at, {lines[at], com + '=' + entry->device.toUtf8() + 'x'}),
               QString(), "a second line with another device is refused");
    // Inside the path, where no blank around it could end it.
    expectSame(
        deviceAfter(lines, port, at, {QString(line).insert(start + 1, QChar(control)).toUtf8()}),
        QString(), "a control character in the path is refused");
    expectSame(deviceAfter(lines, port), QString(), "a line outside any section is refused");
    return 0;
}
