#pragma once

#include <QString>

// Ends the program at once on SIGINT, SIGTERM and SIGHUP (a logout), with the status 128 plus
// the signal's number, even in the middle of a wait. The device itself is released by the
// system as the process ends; what it cannot release is the lock file of an open port, which
// would make the next opener, another user's vantrel above all, refuse the port as in use. So
// the handler removes the lock files of the ports that are open before it ends the program.
void exitOnStopSignals();

// The port object reports the lock file it holds while a port is open, and lets go of it
// before it closes the port. At most a few ports are held at once.
void noteHeldLockFile(const QString &path);
void forgetHeldLockFile(const QString &path);
