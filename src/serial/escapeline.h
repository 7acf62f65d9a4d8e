#pragma once

#include <QByteArray>
#include <QString>

// Text of one character per byte (a reply as it came off the line) as one line of UTF-8 that can
// be turned back into its exact bytes: "\" as "\\", CR, LF and TAB as "\r", "\n" and "\t", every
// other control byte (below 0x20, 0x7F, 0x80 to 0x9F) as "\xHH", Latin-1 letters as UTF-8.
// Messages quote text from files with it too, so a NUL cannot cut them short.
QByteArray escapeLine(const QString &text);
