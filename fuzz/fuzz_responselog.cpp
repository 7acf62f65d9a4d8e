// The response log read back exactly: after lines of any Latin-1 text (CR, LF and every other
// control included) are appended, the log is those lines, each followed by CR LF. What the box
// shows reads back the same, and holds nothing that draws as nothing, a blank or a box.
#include "bytenotation.h"
#include "fuzzinput.h"
#include "responsebox.h"

#include <QApplication>

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    new QApplication(*argc, *argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzInput in{data, size};
    // One box for all inputs: a new widget per input would cost more than the appends.
    static ResponseBox box;
    box.clear();
    QString expected;
    while (!in.atEnd()) {
        const QString line = QString::fromLatin1(in.text(in.byte() % 64).toLatin1());
        box.appendLine(line);
        expected += line + u"\r\n"_qs;
    }
    expectSame(box.logText(), expected, "the log reads back as appended", expected);

    // What the operator sees: a character draws as itself or as a tag, never as nothing, as a
    // blank other than the space, or as a box.
    QString visible = box.readableText(0, box.document()->characterCount());
    QString hidden = visible;
    hidden.removeIf(
        [](QChar c) { return c == u'\n' || c == u' ' || (c.isPrint() && !c.isSpace()); });
    expectSame(hidden.toUcs4(), QList<uint>(), "the box shows every character as something visible",
               visible);
    expectSame(ByteNotation::original(visible.replace(u'\n', u"\r\n"_qs)), expected,
               "what the box shows reads back as appended", expected);
    return 0;
}
