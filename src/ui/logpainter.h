#pragma once

#include <QPointF>

class QPainter;
class QTextBlock;

// What the response log draws over its text: a tinted box around each tag, and at the end of a
// piece of a long line a small wrap mark in the same tint, which says that the line goes on in
// the next row and is no line break of the data.
namespace LogPainter
{

// Marks one laid-out block whose top left corner is at origin; nothing is drawn right of
// rightEdge.
void paintBlockMarks(QPainter &painter, const QTextBlock &block, QPointF origin, qreal rightEdge);

} // namespace LogPainter
