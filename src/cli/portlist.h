#pragma once

#include <QString>

// What --list-ports prints: COM1..COM6 with the device behind each and whether it is there, then
// the serial devices this system has.
QString portList();
