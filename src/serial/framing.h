#pragma once

#include <QString>

// The frame check sequence: the exclusive-or of the 8-bit codes of every character of text.
// Throws Failure on an empty text or a character without an 8-bit code.
qint16 computeFCS(const QString &text);

// Frames command for a unit: "@", the unit in upper-case hex (at least two digits; a negative
// unit as its four 16-bit digits), the command, the FCS of all that in two hex digits, "*".
// Replaces the caller's command with the frame and returns it. A command that cannot be
// framed throws Failure and is left as it was.
QString appendFCS(qint16 unit, QString &command);

// True when frame ends in the two upper-case hex digits of the FCS of everything before them and
// "*", as appendFCS writes it. False for anything else, a frame too short to hold an FCS included.
bool frameCheckHolds(const QString &frame);
