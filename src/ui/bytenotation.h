#pragma once

#include <QString>
#include <QStringView>

// How the log shows a byte that would otherwise draw as nothing, as a blank or as an empty box
// (C0 controls, DEL, C1 controls, no-break space, soft hyphen): as a tag holding the byte's
// standard name between single angle quotes, for example "‹CR›", which reads aloud as a name.
// The quotes lie outside Latin-1, so no byte off the line can ever spell a tag.
namespace ByteNotation
{

constexpr QChar kOpen = QChar(0x2039);
constexpr QChar kClose = QChar(0x203A);

// The tag that shows c, or an empty string when c shows as itself.
const QString &tagFor(QChar c);

// The text with every character that needs one shown as its tag, as the log shows it.
QString tagged(QStringView text);

// Undoes the tags: every complete tag becomes its character again; anything else stays.
QString original(QStringView shownText);

} // namespace ByteNotation
