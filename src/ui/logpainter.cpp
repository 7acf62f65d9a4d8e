#include "logpainter.h"

#include "bytenotation.h"
#include "logdocument.h"

#include <QPainter>
#include <QTextBlock>
#include <QTextLayout>

#include <algorithm>

namespace LogPainter
{
namespace
{

void markTags(QPainter &painter, const QTextBlock &block, QPointF origin)
{
    const QTextLayout *layout = block.layout();
    for (auto piece = block.begin(); !piece.atEnd(); ++piece) {
        const QTextFragment fragment = piece.fragment();
        if (!LogDocument::isReceived(fragment))
            continue;
        const QString text = fragment.text();
        const int start = fragment.position() - block.position();
        for (qsizetype open = text.indexOf(ByteNotation::kOpen); open >= 0;
             open = text.indexOf(ByteNotation::kOpen, open + 1)) {
            const qsizetype close = text.indexOf(ByteNotation::kClose, open);
            if (close < 0)
                break;
            const int from = start + int(open);
            const int to = start + int(close) + 1;
            // A tag wrapped at the end of a line is boxed on each line it touches.
            const QTextLine first = layout->lineForTextPosition(from);
            if (!first.isValid())
                continue;
            for (int i = first.lineNumber();
                 i < layout->lineCount() && layout->lineAt(i).textStart() < to; ++i) {
                const QTextLine line = layout->lineAt(i);
                const qreal left = line.cursorToX(std::max(from, line.textStart()));
                const qreal right =
                    line.cursorToX(std::min(to, line.textStart() + line.textLength()));
                painter.drawRect(
                    QRectF(origin.x() + left, origin.y() + line.y(), right - left, line.height())
                        .adjusted(0.5, 0.5, -0.5, -0.5));
            }
        }
    }
}

// A hooked arrow, down and back to the left, in a tinted box after the piece's last character.
void markWrap(QPainter &painter, const QTextBlock &block, QPointF origin, qreal rightEdge)
{
    const QTextLayout *layout = block.layout();
    if (layout->lineCount() == 0)
        return;
    const QTextLine last = layout->lineAt(layout->lineCount() - 1);
    const qreal height = last.height();
    const qreal width = std::round(height * 0.9);
    const qreal left = std::min(origin.x() + last.cursorToX(last.textStart() + last.textLength()),
                                rightEdge - width);
    const QRectF box = QRectF(left + 1, origin.y() + last.y(), width - 1, height);
    painter.drawRect(box.adjusted(0.5, 0.5, -0.5, -0.5));
    const QPointF top(box.left() + box.width() * 0.72, box.top() + box.height() * 0.22);
    const QPointF bend(top.x(), box.top() + box.height() * 0.66);
    const QPointF tip(box.left() + box.width() * 0.24, bend.y());
    const qreal barb = box.width() * 0.22;
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.drawPolyline(QList<QPointF>{top, bend, tip});
    painter.drawPolyline(
        QList<QPointF>{tip + QPointF(barb, -barb), tip, tip + QPointF(barb, barb)});
    painter.restore();
}

} // namespace

void paintBlockMarks(QPainter &painter, const QTextBlock &block, QPointF origin, qreal rightEdge)
{
    // Multiplied onto what is drawn, so the text stays as dark.
    painter.setCompositionMode(QPainter::CompositionMode_Multiply);
    painter.setPen(QColor(0x5B, 0x7D, 0xB8));
    painter.setBrush(QColor(0xD6, 0xE4, 0xFA));
    markTags(painter, block, origin);
    if (block.next().isValid() && LogDocument::continues(block.next()))
        markWrap(painter, block, origin, rightEdge);
}

} // namespace LogPainter
