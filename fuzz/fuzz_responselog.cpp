// The response log read back exactly: after lines of any Latin-1 text (CR, LF and every other
// control included) are appended, the log is those lines, each followed by CR LF, and what the
// box shows reads back the same; any stretch of it cut and pasted back in its place leaves it
// so. (That each byte looks different is the screenshot test's.)
#include "bytenotation.h"
#include "fuzzinput.h"
#include "responsebox.h"

#include <QApplication>
#include <QClipboard>
#include <QKeyEvent>

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
    // The stretch to cut, its ends as parts of the log's length in 255ths.
    const int from = in.byte(), to = in.byte();
    QString expected, line;
    while (!in.atEnd()) {
        box.appendLine(line = QString::fromLatin1(in.text(in.byte() % 64).toLatin1()));
        expected += line + u"\r\n"_qs;
    }
    const int end = box.document()->characterCount() - 1;
    const QString view = box.readableText(0, end + 1).replace(u'\n', u"\r\n"_qs);
    expectSame(ByteNotation::original(view), expected, "what the box shows reads back as appended");

    QTextCursor stretch(box.document());
    stretch.setPosition(end * from / 255);
    stretch.setPosition(end * to / 255, QTextCursor::KeepAnchor);
    box.setTextCursor(stretch);
    QGuiApplication::clipboard()->clear(); // an empty stretch cuts nothing, and pastes nothing
    for (const Qt::Key key : {Qt::Key_X, Qt::Key_V}) {
        QKeyEvent press(QEvent::KeyPress, key, Qt::ControlModifier);
        QCoreApplication::sendEvent(&box, &press);
    }
    // An empty stretch leaves the log as appended: this check is also the plain read-back's.
    expectSame(box.logText(), expected, "the log, any stretch cut and put back, reads as appended");
    return 0;
}
