#pragma once

#include <QStringView>

class QTextBlock;
class QTextCursor;
class QTextFragment;

// How the response log's document keeps what it shows: text the log received is marked as such
// (only it holds tags, see ByteNotation), and a long line is laid out in blocks of about
// kPieceLength characters, each after the first marked as going on with the line before it.
namespace LogDocument
{

// Layout of one piece is quick however the text is made, and only the pieces in view are laid
// out.
constexpr qsizetype kPieceLength = 2048;

bool isReceived(const QTextFragment &fragment);
bool continues(const QTextBlock &block);

// Inserts text at the cursor as received: every byte that needs one as its tag, a new piece
// whenever the current one is full, a tag never split between pieces.
void insertReceived(QTextCursor &cursor, QStringView text);

// Inserts text as the operator's at the cursor: CR, LF, CR LF and paragraph separators break
// the line.
void insertTyped(QTextCursor &cursor, const QString &text);

// Removes the cursor's selection as one edit of the line: where it takes a line break or a
// break between pieces, what follows joins the line of what comes before it.
void removeSelection(QTextCursor &cursor);

} // namespace LogDocument
