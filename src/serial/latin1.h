#pragma once

#include <QByteArray>
#include <QString>

// The wire carries one byte per character, Latin-1. A character without a Latin-1 code is
// refused rather than replaced, so the controller never receives a command nobody typed.
QByteArray toWireBytes(const QString &text, const QString &what);
