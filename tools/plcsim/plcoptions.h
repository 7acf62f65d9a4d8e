#pragma once

#include <optional>
#include <string>

namespace plcsim
{

// How the simulated controller behaves; each member matches one command-line flag.
struct PlcOptions {
    enum class Phase { Never, Handshake, Reply };

    bool answerEnq = true;                 // --no-handshake: never answer ENQ
    bool silent = false;                   // --silent: commands get no reply (ENQ still answered)
    int enqDelayMs = 0;                    // --enq-delay MS
    int replyDelayMs = 0;                  // --reply-delay MS
    bool crlf = false;                     // --crlf: replies end CR LF instead of CR
    bool badFcs = false;                   // --bad-fcs: framed replies carry a wrong check
    int pieces = 1;                        // --pieces N: each reply written in N pieces...
    int pauseMs = 0;                       // --pause MS: ...with this pause between them
    int hangupAfter = 0;                   // --hangup-after N: hang up after N commands; 0 = never
    Phase hangupDuring = Phase::Never;     // --hangup-during PHASE: hang up in the middle of it
    std::optional<std::string> reply = {}; // --reply TEXT: fixed reply to plain commands
};

} // namespace plcsim
