#pragma once

#include <QString>

// Ends the program at once on SIGINT, SIGTERM and SIGHUP (a logout), with the status 128 plus
// the signal's number, even in the middle of a wait. The device itself is released by the
// system as the process ends; what it cannot release is the lock file of an open port, which
// would make the next opener, another user's vantrel above all, refuse the port as in use. So
// the handler removes the lock files of the ports that are open before it ends the program.
// A signal that was ignored when the program started (nohup) stays ignored.
void exitOnStopSignals();

// The port object names the device before it opens it and again once it has closed it. A stop
// signal in between, even in the middle of the open or the close, removes the device's lock
// file if, and only if, it names this process, so no moment leaves the file behind and none
// removes another program's. At most a few devices are watched at once.
void watchLockFile(const QString &devicePath);
void unwatchLockFile(const QString &devicePath);
