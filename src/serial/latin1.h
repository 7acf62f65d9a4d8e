#pragma once

#include <QByteArray>
#include <QString>

// The wire carries one byte per character, Latin-1. A character without a Latin-1 code is
// refused rather than replaced, so the controller never receives a command nobody typed (and a
// saved log never holds a byte nobody received). `purpose` ends the refusal: "... cannot go on
// the serial line."
QByteArray toWireBytes(const QString &text, const QString &what,
                       const QString &purpose = QStringLiteral("go on the serial line"));
