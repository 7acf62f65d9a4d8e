// The response log read back exactly: after lines of any Latin-1 text (CR, LF and every other
// control included) are appended, the log is those lines, each followed by CR LF.
#include "fuzzinput.h"
#include "responsebox.h"

#include <QApplication>

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    static int argc = 1;
    static char name[] = "fuzz_responselog";
    static char *argv[] = {name, nullptr};
    new QApplication(argc, argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzInput in(data, size);
    // One box for all inputs: a new widget per input would cost more than the appends.
    static ResponseBox box;
    box.clear();
    QString expected;
    while (!in.atEnd()) {
        const QString line = in.latin1(in.byte() % 64);
        box.appendLine(line);
        expected += line + u"\r\n"_qs;
    }
    expect(box.logText() == expected, "the log reads back as appended",
           [&] { return quoted(box.logText()) + u" instead of "_qs + quoted(expected); });
    return 0;
}
