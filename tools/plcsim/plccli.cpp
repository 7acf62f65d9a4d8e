#include "plccli.h"

#include <charconv>
#include <stdexcept>

namespace plcsim
{

namespace
{

int number(const std::string &flag, const std::string &text, int smallest)
{
    int value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || value < smallest)
        throw std::invalid_argument(flag + " wants a whole number of at least " +
                                    std::to_string(smallest) + ", not \"" + text + "\"");
    return value;
}

PlcOptions::Phase phase(const std::string &flag, const std::string &text)
{
    if (text == "handshake")
        return PlcOptions::Phase::Handshake;
    if (text == "reply")
        return PlcOptions::Phase::Reply;
    throw std::invalid_argument(flag + " wants \"handshake\" or \"reply\", not \"" + text + "\"");
}

} // namespace

PlcCommandLine parseCommandLine(const std::vector<std::string> &arguments)
{
    PlcCommandLine request;
    PlcOptions &o = request.options;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string &flag = arguments[i];
        const auto value = [&]() -> const std::string & {
            if (i + 1 >= arguments.size())
                throw std::invalid_argument(flag + " needs a value");
            return arguments[++i];
        };
        if (flag == "--help" || flag == "-h")
            request.help = true;
        else if (flag == "--version" || flag == "-V")
            request.version = true;
        else if (flag == "--link")
            request.link = value();
        else if (flag == "--no-handshake")
            o.answerEnq = false;
        else if (flag == "--silent")
            o.silent = true;
        else if (flag == "--enq-delay")
            o.enqDelayMs = number(flag, value(), 0);
        else if (flag == "--reply-delay")
            o.replyDelayMs = number(flag, value(), 0);
        else if (flag == "--crlf")
            o.crlf = true;
        else if (flag == "--bad-fcs")
            o.badFcs = true;
        else if (flag == "--pieces")
            o.pieces = number(flag, value(), 1);
        else if (flag == "--pause")
            o.pauseMs = number(flag, value(), 0);
        else if (flag == "--hangup-after")
            o.hangupAfter = number(flag, value(), 0);
        else if (flag == "--hangup-during")
            o.hangupDuring = phase(flag, value());
        else if (flag == "--reply")
            o.reply = value();
        else
            throw std::invalid_argument("unknown argument \"" + flag + "\"");
    }
    if (request.link && request.link->empty())
        throw std::invalid_argument("--link needs a path");
    return request;
}

std::string helpText()
{
    return R"(Usage: vantrel-plcsim [OPTION]...
Plays a PLC on a pseudo-terminal so vantrel can be tried without hardware.
Prints the terminal's device path (e.g. /dev/pts/7) on the first line of
standard output, and logs every exchange on standard error (at most 50 lines a
second, the rest summed up; long lines cut short). Stop it with Ctrl-C.

What the controller does:
  Bytes are 8-bit (Latin-1). A command is its text followed by CR.
  ENQ (byte 5) arriving between commands is the handshake: it is answered
  with ENQ. Inside command text ENQ is an ordinary byte.
  A plain command is answered "OK " and the command, then CR:
    "RD D100" CR  ->  "OK RD D100" CR
  A framed command is "@", the unit in two hex digits, the text, the check
  in two hex digits and "*". The check is the exclusive-or of the bytes of
  everything before it. A sound frame is answered "@", the unit, "OK", the
  text, a new check and "*"; a wrong check or a broken frame gets the error
  frame "@", the unit (00 if unreadable), "ER", check, "*". Then CR.
    "@00abc20*" CR  ->  "@00OKabc24*" CR
    "@00abc21*" CR  ->  "@00ER57*" CR

Options:
  --link PATH        also make PATH a symbolic link to the terminal (an
                     existing link is replaced, any other file is left alone
                     and the simulator refuses to start); removed on exit.
                     Its path is printed on the second line.
  --no-handshake     never answer ENQ
  --silent           never answer commands (ENQ is still answered)
  --enq-delay MS     wait MS milliseconds before answering ENQ
  --reply-delay MS   wait MS milliseconds before answering a command
  --crlf             end replies with CR LF instead of CR
  --bad-fcs          answer frames with a wrong check (the last digit off)
  --pieces N         write each reply, terminator included, in N pieces...
  --pause MS         ...waiting MS milliseconds between pieces
  --hangup-after N   after N commands, hang up the terminal and quit
  --hangup-during handshake|reply
                     hang up and quit at the first ENQ instead of answering
                     it, or after the first half of the first reply
  --reply TEXT       answer every plain command with TEXT instead of "OK ..."
  -h, --help         show this text
  -V, --version      show the version

Example:
  build/vantrel-plcsim --link /tmp/com1
then, in another terminal, any of:
  picocom -b 9600 --echo --imap crcrlf /tmp/com1
      type a command and Enter (Enter sends CR); Ctrl-E sends ENQ;
      Ctrl-A Ctrl-X quits.
  socat - /tmp/com1,rawer,cr
      type a command and Enter (sent as CR, replies shown one per line);
      Ctrl-D quits.
  printf '\005' | socat -t1 - /tmp/com1,rawer | od -c
      sends a lone ENQ and shows the ENQ that comes back.

Exit status: 0 when hung up, 1 when the terminal or the link cannot be set up,
2 for a bad command line, 128 plus the signal's number when stopped by SIGINT,
SIGTERM or SIGHUP (the link is removed first).
)";
}

} // namespace plcsim
