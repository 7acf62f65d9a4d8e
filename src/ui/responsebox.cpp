#include "responsebox.h"

#include "bytenotation.h"
#include "responseboxaccessible.h"

#include <QAbstractTextDocumentLayout>
#include <QContextMenuEvent>
#include <QMenu>
#include <QMimeData>
#include <QPainter>
#include <QRegularExpression>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QTextBlock>

#include <algorithm>
#ifdef __GLIBC__
#include <malloc.h>
#endif
#include <memory>

namespace
{

// Text the log received, as opposed to text the operator typed: only received text holds tags.
constexpr int kReceived = QTextFormat::UserProperty + 1;
// A block that goes on with the line of the block before it.
constexpr int kContinues = QTextFormat::UserProperty + 2;
// A line is laid out in pieces of about this many characters. Layout of one piece is quick
// however the text is made, and only the pieces in view are laid out.
constexpr qsizetype kPieceLength = 2048;

bool isReceived(const QTextFragment &fragment)
{
    return fragment.charFormat().boolProperty(kReceived);
}

bool continues(const QTextBlock &block)
{
    return block.blockFormat().boolProperty(kContinues);
}

} // namespace

ResponseBox::ResponseBox(QWidget *parent) : QPlainTextEdit(parent)
{
    document()->setUndoRedoEnabled(false);
    installResponseBoxAccessible();
    connect(document(), &QTextDocument::contentsChange, this, [this] { pieceBreaksStale_ = true; });
    connect(document(), &QTextDocument::contentsChanged, this, [this] {
        // The allocator keeps what a long log freed; an emptied log gives it back, once the
        // emptying is done.
        if (document()->isEmpty())
            QMetaObject::invokeMethod(this, &ResponseBox::releaseMemory, Qt::QueuedConnection);
    });
}

void ResponseBox::releaseMemory()
{
#ifdef __GLIBC__
    malloc_trim(0);
#endif
}

void ResponseBox::appendLine(const QString &line)
{
    // Where the view goes is decided by where it was before the first of a run of lines, and
    // settled once the run is over: lines that come back to back scroll the view once.
    if (!viewPending_) {
        viewPending_ = true;
        followEnd_ = verticalScrollBar()->value() == verticalScrollBar()->maximum();
        scrolledTo_ = verticalScrollBar()->value();
        QMetaObject::invokeMethod(this, &ResponseBox::settleView, Qt::QueuedConnection);
    }
    // The box catches up with the new size of the log once per run of lines, in settleView.
    const QSignalBlocker quiet(document()->documentLayout());
    const int anchor = textCursor().anchor();
    const int position = textCursor().position();

    QTextCharFormat received;
    received.setProperty(kReceived, true);
    QTextBlockFormat continuation;
    continuation.setProperty(kContinues, true);

    // Logged lines are kept out of the undo history; the operator's edits before them can no
    // longer be undone either. Undo is on only while the operator edits.
    if (document()->isUndoRedoEnabled())
        document()->setUndoRedoEnabled(false);
    QTextCursor end(document());
    end.movePosition(QTextCursor::End);
    end.beginEditBlock();
    // Shown piece by piece, tags whole: a reply may be megabytes long.
    QString piece;
    piece.reserve(kPieceLength);
    qsizetype room = kPieceLength - (end.block().length() - 1);
    for (QChar c : line) {
        const QString &tag = ByteNotation::tagFor(c);
        if (piece.size() + std::max<qsizetype>(tag.size(), 1) > room) {
            if (!piece.isEmpty())
                end.insertText(piece, received);
            end.insertBlock(continuation, received);
            piece.resize(0);
            room = kPieceLength;
        }
        if (tag.isEmpty())
            piece.append(c);
        else
            piece.append(tag);
    }
    if (!piece.isEmpty())
        end.insertText(piece, received);
    end.insertBlock(QTextBlockFormat(), QTextCharFormat());
    end.endEditBlock();

    // A caret at the very end was pushed along by the insertion; put it back.
    if (textCursor().anchor() != anchor || textCursor().position() != position) {
        QTextCursor caret(document());
        caret.setPosition(anchor);
        caret.setPosition(position, QTextCursor::KeepAnchor);
        setTextCursor(caret);
    }
}

void ResponseBox::settleView()
{
    viewPending_ = false;
    QAbstractTextDocumentLayout *layout = document()->documentLayout();
    emit layout->documentSizeChanged(layout->documentSize());
    emit layout->update();
    verticalScrollBar()->setValue(followEnd_ ? verticalScrollBar()->maximum() : scrolledTo_);
}

QString ResponseBox::logText() const
{
    QString text;
    for (QTextBlock block = document()->begin(); block.isValid(); block = block.next()) {
        if (block != document()->begin() && !continues(block))
            text += QStringLiteral("\r\n");
        for (auto piece = block.begin(); !piece.atEnd(); ++piece) {
            const QTextFragment fragment = piece.fragment();
            if (isReceived(fragment))
                text += ByteNotation::original(fragment.text());
            else
                text += fragment.text().replace(QChar::LineSeparator, QStringLiteral("\r\n"));
        }
    }
    return text;
}

QString ResponseBox::readableText(int from, int to) const
{
    QString text;
    for (QTextBlock block = document()->findBlock(from); block.isValid() && block.position() <= to;
         block = block.next()) {
        if (block.position() > from && !continues(block))
            text += u'\n';
        const int start = std::max(from, block.position()) - block.position();
        const int end = std::min(to, block.position() + block.length() - 1) - block.position();
        if (end > start)
            text += block.text().sliced(start, end - start);
    }
    return text.replace(QChar::LineSeparator, u'\n');
}

const std::vector<int> &ResponseBox::pieceBreaks() const
{
    if (pieceBreaksStale_) {
        pieceBreaks_.clear();
        for (QTextBlock block = document()->begin(); block.isValid(); block = block.next())
            if (continues(block) && block != document()->begin())
                pieceBreaks_.push_back(block.position() - 1);
        pieceBreaksStale_ = false;
    }
    return pieceBreaks_;
}

int ResponseBox::readableOffset(int position) const
{
    const auto &breaks = pieceBreaks();
    return position -
           int(std::lower_bound(breaks.begin(), breaks.end(), position) - breaks.begin());
}

int ResponseBox::positionOfOffset(int offset) const
{
    // The i-th break (from 0) sits at readable offset breaks[i] - i; every break at or before
    // the offset lies before the position.
    const auto &breaks = pieceBreaks();
    int before = 0;
    int count = int(breaks.size());
    while (count > 0) {
        const int half = count / 2;
        if (breaks[before + half] - (before + half) <= offset) {
            before += half + 1;
            count -= half + 1;
        } else {
            count = half;
        }
    }
    return offset + before;
}

QMimeData *ResponseBox::createMimeDataFromSelection() const
{
    auto *data = new QMimeData;
    data->setText(readableText(textCursor().selectionStart(), textCursor().selectionEnd()));
    return data;
}

void ResponseBox::editsFollow()
{
    if (!document()->isUndoRedoEnabled())
        document()->setUndoRedoEnabled(true);
}

void ResponseBox::plainCaret()
{
    // Typing takes on the format of the text before the caret; the operator's text must never
    // pass for received text, nor a line break of theirs for a piece of a long line.
    QTextCursor caret = textCursor();
    caret.removeSelectedText();
    caret.setCharFormat(QTextCharFormat());
    setTextCursor(caret);
}

void ResponseBox::typeText(const QString &text)
{
    plainCaret();
    QTextCursor caret = textCursor();
    caret.beginEditBlock();
    const QStringList lines = QString(text)
                                  .replace(QStringLiteral("\r\n"), QStringLiteral("\n"))
                                  .split(QRegularExpression(QStringLiteral("[\r\n\u2029]")));
    for (qsizetype i = 0; i < lines.size(); ++i) {
        if (i > 0)
            caret.insertBlock(QTextBlockFormat(), QTextCharFormat());
        caret.insertText(lines[i], QTextCharFormat());
    }
    caret.endEditBlock();
    setTextCursor(caret);
    ensureCursorVisible();
}

void ResponseBox::insertFromMimeData(const QMimeData *source)
{
    editsFollow();
    if (!isReadOnly() && source->hasText())
        typeText(source->text());
}

void ResponseBox::keyPressEvent(QKeyEvent *event)
{
    editsFollow();
    const bool plainKey =
        !(event->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier));
    if (!isReadOnly() && plainKey &&
        (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter)) {
        typeText(QStringLiteral("\n"));
        event->accept();
        return;
    }
    if (!isReadOnly() && plainKey && !event->text().isEmpty() && event->text().front().isPrint())
        plainCaret();
    QPlainTextEdit::keyPressEvent(event);
}

void ResponseBox::inputMethodEvent(QInputMethodEvent *event)
{
    editsFollow();
    if (!isReadOnly() && !event->commitString().isEmpty())
        plainCaret();
    QPlainTextEdit::inputMethodEvent(event);
}

void ResponseBox::contextMenuEvent(QContextMenuEvent *event)
{
    const std::unique_ptr<QMenu> menu(createStandardContextMenu(event->pos()));
    menu->addSeparator();
    menu->addAction(tr("Save Log As\u2026"), this, &ResponseBox::saveLogRequested);
    menu->exec(event->globalPos());
}

void ResponseBox::paintEvent(QPaintEvent *event)
{
    QPlainTextEdit::paintEvent(event);
    QPainter painter(viewport());
    const QPointF offset = contentOffset();
    for (QTextBlock block = firstVisibleBlock(); block.isValid(); block = block.next()) {
        const QRectF area = blockBoundingGeometry(block).translated(offset);
        if (area.top() > event->rect().bottom())
            break;
        if (block.isVisible() && area.bottom() >= event->rect().top())
            markTags(painter, block, area.topLeft());
    }
}

void ResponseBox::markTags(QPainter &painter, const QTextBlock &block, QPointF origin) const
{
    // A tinted box around each tag, multiplied onto what is drawn so the text stays as dark.
    painter.setCompositionMode(QPainter::CompositionMode_Multiply);
    painter.setPen(QColor(0x5B, 0x7D, 0xB8));
    painter.setBrush(QColor(0xD6, 0xE4, 0xFA));
    const QTextLayout *layout = block.layout();
    for (auto piece = block.begin(); !piece.atEnd(); ++piece) {
        const QTextFragment fragment = piece.fragment();
        if (!isReceived(fragment))
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
