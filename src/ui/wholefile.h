#pragma once

#include <QByteArray>
#include <QString>

// Writes bytes as the whole content of the file at path, or leaves the file as it was: the new
// content goes to a file beside it that replaces it only once complete. Only a regular file (or
// a new one) is written; a device, a pipe or a socket is refused, since replacing it would
// destroy it. Throws Failure, beginning with `what` ("The log"), saying why.
void writeWholeFile(const QString &path, const QByteArray &bytes, const QString &what);
