// The simulator's command reader against the stream cut at every CR: each CR-ended piece is a
// command, in order, after any ENQs that open it, which are enquiries; the unended rest yields
// only its opening ENQs.
#include "fuzzinput.h"
#include "plccommandreader.h"

#include <QByteArrayList>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray stream(reinterpret_cast<const char *>(data), qsizetype(size));
    plcsim::PlcCommandReader reader;
    QByteArrayList got;
    for (char byte : stream)
        if (const auto incoming = reader.feed(byte))
            got += incoming->kind == plcsim::PlcIncoming::Kind::Enquiry
                       ? "ENQ"
                       : '[' + QByteArray::fromStdString(incoming->text) + ']';

    QByteArrayList cut;
    const QByteArrayList pieces = stream.split('\r');
    for (qsizetype i = 0; i < pieces.size(); ++i) {
        QByteArray piece = pieces[i];
        for (; piece.startsWith('\x05'); piece.remove(0, 1))
            cut += "ENQ";
        if (i + 1 < pieces.size())
            cut += '[' + piece + ']';
    }
    expectSame(got, cut, "the reader cuts commands at CR", stream);
    return 0;
}
