#include "logunits.h"

#include "bytenotation.h"
#include "logdocument.h"

#include <QTextBlock>
#include <QTextCursor>

namespace LogUnits
{
namespace
{

// "‹NBSP›", the longest tag.
constexpr int kLongestTag = 6;

int blockEnd(const QTextBlock &block)
{
    return block.position() + block.length() - 1;
}

} // namespace

std::pair<int, int> unitAt(const QTextDocument *document, int position)
{
    const QTextBlock block = document->findBlock(position);
    for (auto piece = block.begin(); !piece.atEnd(); ++piece) {
        const QTextFragment fragment = piece.fragment();
        if (!fragment.contains(position))
            continue;
        // Only received text holds tags; a quote the operator typed is a character like any.
        if (!LogDocument::isReceived(fragment))
            break;
        const QString text = fragment.text();
        const int at = position - fragment.position();
        int open = at;
        while (open >= 0 && at - open < kLongestTag && text[open] != ByteNotation::kOpen &&
               (open == at || text[open] != ByteNotation::kClose))
            --open;
        if (open < 0 || text[open] != ByteNotation::kOpen)
            break;
        for (int close = at; close < text.size() && close - open < kLongestTag; ++close) {
            if (text[close] == ByteNotation::kClose)
                return {fragment.position() + open, fragment.position() + close + 1};
            if (close > open && text[close] == ByteNotation::kOpen)
                break;
        }
        break;
    }
    return {position, position + 1};
}

bool insideTag(const QTextDocument *document, int position)
{
    return unitAt(document, position).first < position;
}

int stepBack(const QTextDocument *document, int position)
{
    // The end of a piece and the start of the next are the same place in the line.
    QTextBlock block = document->findBlock(position);
    int at = position;
    while (at == block.position() && LogDocument::continues(block) && block.previous().isValid()) {
        block = block.previous();
        at = blockEnd(block);
    }
    return std::max(at - 1, 0);
}

int stepForward(const QTextDocument *document, int position)
{
    QTextBlock block = document->findBlock(position);
    int at = position;
    while (at == blockEnd(block) && block.next().isValid() &&
           LogDocument::continues(block.next())) {
        block = block.next();
        at = block.position();
    }
    return at == document->characterCount() - 1 ? at : at + 1;
}

void widenToTags(QTextCursor &cursor)
{
    const QTextDocument *document = cursor.document();
    const int start = cursor.selectionStart();
    const int end = cursor.selectionEnd();
    const int from = insideTag(document, start) ? unitAt(document, start).first : start;
    const int to = insideTag(document, end) ? unitAt(document, end).second : end;
    if (from == start && to == end)
        return;
    if (start == end) {
        cursor.setPosition(to);
        return;
    }
    const bool forward = cursor.position() >= cursor.anchor();
    cursor.setPosition(forward ? from : to);
    cursor.setPosition(forward ? to : from, QTextCursor::KeepAnchor);
}

} // namespace LogUnits
