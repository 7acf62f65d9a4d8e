#pragma once

#include <QString>

// The timeout box's text as whole milliseconds: a decimal number with blanks around it allowed,
// rounded to the nearest whole number (exact halves to the even neighbour), within the 32-bit
// signed range. Anything else throws Failure.
qint32 parseTimeout(const QString &text);
