#pragma once

#include <vector>

class QTextDocument;

// Where the pieces of the log's long lines break, against the text as a reader sees it: the
// breaks between pieces are not part of that text, so each one shifts the offsets after it.
// Rebuilt, when asked, after the document has changed.
class PieceIndex
{
public:
    explicit PieceIndex(const QTextDocument *document) : document_(document) {}

    // Call whenever the document changes.
    void invalidate() { stale_ = true; }

    int readableOffset(int position) const;
    int positionOfOffset(int offset) const;

private:
    const std::vector<int> &breaks() const;

    const QTextDocument *document_;
    mutable std::vector<int> breaks_; // positions of the breaks, in order
    mutable bool stale_ = true;
};
