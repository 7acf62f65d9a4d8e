#pragma once

#include <QString>

// Ends the program at once on a stop signal (SIGINT, SIGTERM, SIGHUP at logout, SIGQUIT from
// Ctrl-\ and the others of stophandler.h), with the status 128 plus the signal's number, even
// in the middle of a wait. The system releases the device as the process ends, but two things
// outlive it: the lock file of an open port, and the exclusive flag and line settings of a
// device that stays open at its other end (a pseudo-terminal, some drivers). Either makes the
// next opener, a technician's vantrel above all, refuse the port as in use. So the handler
// undoes both for the ports that are open before it ends the program.
void exitOnStopSignals();

// The port object calls watchPort before it opens the device and unwatchPort once it has
// closed it. A stop signal in between, even in the middle of the open or the close, puts back
// the line settings the device had at watchPort, lifts its exclusive flag (unless another
// program had set it) and removes lockFile if, and only if, this process holds it open, as
// QSerialPort holds its lock file from the moment it makes it. So no moment leaves the file
// behind, and none removes another program's. At most a few ports are watched at once.
void watchPort(const QString &device, const QString &lockFile);
void unwatchPort(const QString &lockFile);
