#pragma once

#include <utility>

class QTextCursor;
class QTextDocument;

// The steps of the caret and of editing in the response log: a tag is one unit, so the log
// never holds part of one, and the pieces of a long line are one line, so the breaks between
// them are no steps at all.
namespace LogUnits
{

// The unit that holds the character at position: a whole tag, or that one character.
std::pair<int, int> unitAt(const QTextDocument *document, int position);

// True when position lies between the first and the last character of a tag.
bool insideTag(const QTextDocument *document, int position);

// One character back from position, and one forward, as in one line: across a break between
// pieces the step takes the character beyond it. Backspace and Delete remove that far, widened
// to whole tags.
int stepBack(const QTextDocument *document, int position);
int stepForward(const QTextDocument *document, int position);

// Moves the ends of the selection out of any tag they lie in, so that it takes tags whole; a
// caret without a selection inside a tag moves to the tag's end.
void widenToTags(QTextCursor &cursor);

} // namespace LogUnits
