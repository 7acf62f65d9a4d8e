#pragma once

#include <QString>

// The operating system's device for port number n (COMn): the device named by the
// environment variable VANTREL_COMn when it is set and not empty, otherwise the platform's
// own name for the n-th serial port.
QString devicePathForPort(int port);
