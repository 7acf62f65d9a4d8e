#pragma once

#include "hostline.h"

#include <functional>
#include <utility>

// A controller on the host's end of a line. It answers a lone ENQ with ENQ and a command with
// "OK " and the command, unless told not to; the command "PULL" it never answers, and asks for
// the USB adapter to be unplugged while the tool waits.
class HostController
{
public:
    bool answerEnq = true;
    bool answerCommands = true;
    QByteArray received;
    // Called as each command arrives, before it is answered: the tool's port is open then.
    std::function<void(const QByteArray &command)> heard;
    bool pullHeard = false;
    HostLine line{[this](const QByteArray &bytes) { take(bytes); }};

private:
    void take(const QByteArray &bytes)
    {
        received += bytes;
        for (const char byte : bytes) {
            if (byte == '\x05' && pending_.isEmpty()) {
                if (answerEnq)
                    line.write("\x05");
            } else if (byte != '\r') {
                pending_ += byte;
            } else {
                const QByteArray command = std::exchange(pending_, {});
                if (heard)
                    heard(command);
                if (command == "PULL")
                    pullHeard = true;
                else if (answerCommands)
                    line.write("OK " + command + '\r');
            }
        }
    }

    QByteArray pending_;
};
