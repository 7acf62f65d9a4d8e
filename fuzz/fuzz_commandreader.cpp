// The simulator's command reader against the stream cut at every CR: each CR-ended piece is a
// command, in order, after any ENQs that open it, which are enquiries; the unended rest yields
// only its opening ENQs. An enquiry is written as ENQ, a command in brackets.
#include "fuzzinput.h"
#include "plccommandreader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const std::string stream(reinterpret_cast<const char *>(data), size);
    plcsim::PlcCommandReader reader;
    std::string got, cut;
    for (char byte : stream)
        if (const auto incoming = reader.feed(byte))
            got += incoming->kind == plcsim::PlcIncoming::Kind::Enquiry
                       ? "\x05"
                       : '[' + incoming->text + ']';
    for (size_t start = 0, cr = 0; cr != std::string::npos; start = cr + 1) {
        cr = stream.find('\r', start);
        // No CR is an ENQ, so the ENQs that open a piece end at its CR at the latest.
        const size_t text = std::min(stream.find_first_not_of('\x05', start), stream.size());
        cut += stream.substr(start, text - start);
        if (cr != std::string::npos)
            cut += '[' + stream.substr(text, cr - text) + ']';
    }
    expectSame(got, cut, "the reader cuts commands at CR");
    return 0;
}
