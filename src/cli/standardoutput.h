#pragma once

#include <QByteArray>

// Writes bytes to standard output and flushes them at once, so a script reading the output sees
// each line as it comes. Throws Failure when they cannot be written (a full disk, a closed pipe).
void writeOut(const QByteArray &bytes);
