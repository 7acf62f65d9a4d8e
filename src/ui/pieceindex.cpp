#include "pieceindex.h"

#include "logdocument.h"

#include <QTextBlock>

#include <algorithm>

const std::vector<int> &PieceIndex::breaks() const
{
    if (stale_) {
        breaks_.clear();
        for (QTextBlock block = document_->begin(); block.isValid(); block = block.next())
            if (LogDocument::continues(block) && block != document_->begin())
                breaks_.push_back(block.position() - 1);
        stale_ = false;
    }
    return breaks_;
}

int PieceIndex::readableOffset(int position) const
{
    const auto &all = breaks();
    return position - int(std::lower_bound(all.begin(), all.end(), position) - all.begin());
}

int PieceIndex::positionOfOffset(int offset) const
{
    // The i-th break (from 0) sits at readable offset breaks[i] - i; every break at or before
    // the offset lies before the position.
    const auto &all = breaks();
    int before = 0;
    int count = int(all.size());
    while (count > 0) {
        const int half = count / 2;
        if (all[before + half] - (before + half) <= offset) {
            before += half + 1;
            count -= half + 1;
        } else {
            count = half;
        }
    }
    return offset + before;
}
