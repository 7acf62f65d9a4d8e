#pragma once

#include <csignal>

// Makes handler the one for SIGINT, SIGTERM and SIGHUP (a logout), with every signal blocked
// while it runs. A signal that was ignored when the program started (nohup) stays ignored.
// Header only and without Qt, so the simulator shares it.
inline void onStopSignals(void (*handler)(int))
{
    struct sigaction action = {};
    action.sa_handler = handler;
    sigfillset(&action.sa_mask);
    for (int signalNumber : {SIGINT, SIGTERM, SIGHUP}) {
        struct sigaction before = {};
        if (sigaction(signalNumber, nullptr, &before) == 0 && before.sa_handler == SIG_IGN)
            continue;
        sigaction(signalNumber, &action, nullptr);
    }
}
