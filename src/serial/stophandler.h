#pragma once

#include <csignal>

// The signals that end a program by default and that ask it to stop rather than report a
// fault of its own: Ctrl-C, kill, logout, Ctrl-\ (SIGQUIT), timers and limits, a reader gone
// from a pipe. Each gets the program's cleanup.
inline constexpr int kStopSignals[] = {SIGINT,  SIGTERM, SIGHUP,  SIGQUIT, SIGUSR1,
                                       SIGUSR2, SIGALRM, SIGXCPU, SIGXFSZ, SIGPIPE};

// Makes handler the one for every stop signal, with every signal blocked while it runs. A
// signal that was ignored when the program started (nohup) stays ignored.
// Header only and without Qt, so the simulator shares it.
inline void onStopSignals(void (*handler)(int))
{
    struct sigaction action = {};
    action.sa_handler = handler;
    sigfillset(&action.sa_mask);
    for (int signalNumber : kStopSignals) {
        struct sigaction before = {};
        if (sigaction(signalNumber, nullptr, &before) == 0 && before.sa_handler == SIG_IGN)
            continue;
        sigaction(signalNumber, &action, nullptr);
    }
}
