// The simulator's command reader against the stream cut at every CR: each CR-ended piece is a
// command, in order, after any ENQs that open it, which are enquiries; the unended rest yields
// only its opening ENQs.
#include "fuzzinput.h"
#include "plccommandreader.h"

#include <string>
#include <vector>

using plcsim::PlcIncoming;

namespace
{

std::string shown(const std::vector<PlcIncoming> &events)
{
    std::string s;
    for (const PlcIncoming &e : events)
        s += e.kind == PlcIncoming::Kind::Enquiry ? "ENQ " : "[" + e.text + "] ";
    return s;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const std::string stream(reinterpret_cast<const char *>(data), size);
    plcsim::PlcCommandReader reader;
    std::vector<PlcIncoming> got;
    for (char byte : stream)
        if (auto incoming = reader.feed(byte))
            got.push_back(*incoming);

    std::vector<PlcIncoming> cut;
    for (size_t start = 0; start <= stream.size();) {
        size_t cr = stream.find('\r', start);
        size_t text = start;
        while (text < stream.size() && text != cr && stream[text] == '\x05') {
            cut.push_back({PlcIncoming::Kind::Enquiry, {}});
            ++text;
        }
        if (cr == std::string::npos)
            break;
        cut.push_back({PlcIncoming::Kind::Command, stream.substr(text, cr - text)});
        start = cr + 1;
    }
    expect(shown(got) == shown(cut), "the reader cuts commands at CR",
           [&] { return QString::fromStdString(shown(got) + "instead of " + shown(cut)); });
    return 0;
}
