#pragma once

#include "hostline.h"

#include <functional>

// A controller on the host's end of a line. It answers a lone ENQ with ENQ and a command with
// "OK " and the command, unless told not to; the command "PULL" it never answers, and asks for
// the USB adapter to be unplugged while the tool waits.
class HostController
{
public:
    HostController();
    bool answerEnq = true;
    bool answerCommands = true;
    QByteArray received;
    // Called as each command arrives, before it is answered: the tool's port is open then.
    std::function<void(const QByteArray &command)> heard;
    bool pullHeard = false;
    HostLine line;

private:
    void take(const QByteArray &bytes);
    QByteArray pending_;
};
