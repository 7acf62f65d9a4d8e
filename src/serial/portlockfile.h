#pragma once

#include <QString>
#include <QStringList>

// QSerialPort marks a device it opens with a lock file, "LCK.." followed by the device's name
// below /dev with "/" written as "_", in the first usable of the usual lock directories. These
// are the places such a file can be for devicePath, in the order QSerialPort tries them.
QStringList lockFileCandidates(const QString &devicePath);

// The lock file this process holds for the device: the candidate whose first line, as
// QLockFile writes it, is this process's id. Empty when there is none.
QString heldLockFile(const QString &devicePath);
