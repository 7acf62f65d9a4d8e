#include "responsebox.h"

#include "bytenotation.h"
#include "detailsmargin.h"
#include "entrydetails.h"
#include "logdocument.h"
#include "logmimedata.h"
#include "logpainter.h"
#include "logunits.h"
#include "responseboxaccessible.h"

#include <QAbstractTextDocumentLayout>
#include <QAccessible>
#include <QContextMenuEvent>
#include <QDropEvent>
#include <QMenu>
#include <QMimeData>
#include <QPainter>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QTextBlock>
#include <QToolTip>

#ifdef __GLIBC__
#include <malloc.h>
#endif
#include <memory>

using LogDocument::continues;
using LogDocument::isReceived;

ResponseBox::ResponseBox(QWidget *parent) : QPlainTextEdit(parent), margin_(new DetailsMargin(this))
{
    document()->setUndoRedoEnabled(false);
    installResponseBoxAccessible();
    connect(document(), &QTextDocument::contentsChange, this, [this] { pieces_.invalidate(); });
    connect(document(), &QTextDocument::contentsChanged, this, [this] {
        // The allocator keeps what a long log freed; an emptied log gives it back, once the
        // emptying is done.
        if (document()->isEmpty())
            QMetaObject::invokeMethod(this, &ResponseBox::releaseMemory, Qt::QueuedConnection);
    });
    connect(this, &QPlainTextEdit::cursorPositionChanged, this, &ResponseBox::keepTagsWhole);
    connect(this, &QPlainTextEdit::selectionChanged, this, &ResponseBox::keepTagsWhole);
    connect(this, &QPlainTextEdit::cursorPositionChanged, this, &ResponseBox::announceEntry);
    // The margin moves with the view, as a code editor's line numbers do.
    connect(this, &QPlainTextEdit::updateRequest, margin_, [this](const QRect &area, int dy) {
        if (dy != 0)
            margin_->scroll(0, dy);
        else
            margin_->update(0, area.y(), margin_->width(), area.height());
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

    // Logged lines are kept out of the undo history; the operator's edits before them can no
    // longer be undone either. Undo is on only while the operator edits.
    if (document()->isUndoRedoEnabled())
        document()->setUndoRedoEnabled(false);
    QTextCursor end(document());
    end.movePosition(QTextCursor::End);
    lastLineStart_ = end.blockNumber();
    end.beginEditBlock();
    LogDocument::insertReceived(end, line);
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

void ResponseBox::describeLastLine(const ExchangeRecord &record)
{
    QTextBlock first = document()->findBlockByNumber(lastLineStart_);
    if (!first.isValid())
        return;
    first.setUserData(new EntryDetails(record));
    margin_->update();
}

const EntryDetails *ResponseBox::detailsAt(int position) const
{
    QTextBlock block = document()->findBlock(position);
    while (continues(block) && block.previous().isValid())
        block = block.previous();
    return dynamic_cast<const EntryDetails *>(block.userData());
}

void ResponseBox::forEachEntryInView(
    const std::function<void(const EntryDetails &, qreal top)> &shown) const
{
    const QPointF offset = contentOffset();
    for (QTextBlock block = firstVisibleBlock(); block.isValid(); block = block.next()) {
        const qreal top = blockBoundingGeometry(block).translated(offset).top();
        if (top > viewport()->height())
            break;
        if (const auto *details = dynamic_cast<const EntryDetails *>(block.userData()))
            shown(*details, top);
    }
}

void ResponseBox::setDetailsShown(bool shown)
{
    margin_->setVisible(shown);
    setViewportMargins(shown ? margin_->widthNeeded() : 0, 0, 0, 0);
    placeMargin();
}

bool ResponseBox::detailsShown() const
{
    return !margin_->isHidden();
}

void ResponseBox::placeMargin()
{
    const QRect area = contentsRect();
    margin_->setGeometry(area.left(), area.top(), margin_->widthNeeded(), area.height());
}

void ResponseBox::resizeEvent(QResizeEvent *event)
{
    QPlainTextEdit::resizeEvent(event);
    placeMargin();
}

void ResponseBox::announceEntry()
{
    // The screen reader gives the details of the entry at the caret as its description.
    if (!QAccessible::isActive())
        return;
    const EntryDetails *entry = detailsAt(textCursor().position());
    if (entry == caretEntry_)
        return;
    caretEntry_ = entry;
    QAccessibleEvent changed(this, QAccessible::DescriptionChanged);
    QAccessible::updateAccessibility(&changed);
}

bool ResponseBox::viewportEvent(QEvent *event)
{
    if (event->type() != QEvent::ToolTip)
        return QPlainTextEdit::viewportEvent(event);
    const auto *help = static_cast<QHelpEvent *>(event);
    const QTextCursor at = cursorForPosition(help->pos());
    const bool onText =
        blockBoundingGeometry(at.block()).translated(contentOffset()).contains(help->pos());
    const EntryDetails *details = onText ? detailsAt(at.position()) : nullptr;
    if (details)
        QToolTip::showText(help->globalPos(),
                           details->text().toHtmlEscaped().replace(u'\n', QStringLiteral("<br>")),
                           viewport());
    else
        QToolTip::hideText();
    return true;
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

QMimeData *ResponseBox::createMimeDataFromSelection() const
{
    const int from = textCursor().selectionStart();
    const int to = textCursor().selectionEnd();
    return LogMimeData::fromDocument(document(), from, to, readableText(from, to));
}

void ResponseBox::keepTagsWhole()
{
    // The caret steps over a tag in the direction it moved; the other end of a selection moves
    // out of a tag away from the caret, so the selection takes the tag whole.
    QTextCursor caret = textCursor();
    const int anchor = caret.anchor();
    const int position = caret.position();
    const auto outOfTag = [this](int at, bool forward) {
        const auto [start, end] = LogUnits::unitAt(document(), at);
        return start < at ? (forward ? end : start) : at;
    };
    const int to =
        outOfTag(position, position != caretWas_ ? position > caretWas_ : position > anchor);
    const int from = caret.hasSelection() ? outOfTag(anchor, anchor > position) : to;
    caretWas_ = to;
    if (from == anchor && to == position)
        return;
    caret.setPosition(from);
    caret.setPosition(to, QTextCursor::KeepAnchor);
    setTextCursor(caret);
}

void ResponseBox::editsFollow()
{
    if (!document()->isUndoRedoEnabled())
        document()->setUndoRedoEnabled(true);
}

void ResponseBox::plainCaret()
{
    // Typing takes on the format of the text before the caret; the operator's text must never
    // pass for received text, nor a line break of theirs for a piece of a long line. A caret
    // that Qt placed inside a tag (a drop) goes beside it first.
    QTextCursor caret = textCursor();
    LogUnits::widenToTags(caret);
    if (caret.hasSelection())
        LogDocument::removeSelection(caret);
    caret.setCharFormat(QTextCharFormat());
    setTextCursor(caret);
}

void ResponseBox::typeText(const QString &text)
{
    plainCaret();
    QTextCursor caret = textCursor();
    caret.beginEditBlock();
    LogDocument::insertTyped(caret, text);
    caret.endEditBlock();
    setTextCursor(caret);
    ensureCursorVisible();
}

void ResponseBox::insertFromMimeData(const QMimeData *source)
{
    editsFollow();
    if (isReadOnly())
        return;
    plainCaret();
    QTextCursor caret = textCursor();
    if (LogMimeData::insert(caret, source)) {
        setTextCursor(caret);
        ensureCursorVisible();
    } else if (source->hasText()) {
        typeText(source->text());
    }
}

bool ResponseBox::removeByKey(QKeyEvent *event)
{
    // Qt's own removals would take part of a tag, take only the break between two pieces of a
    // line, or start a joined line wrongly (see LogDocument::removeSelection).
    const bool backspace =
        (event->key() == Qt::Key_Backspace && !(event->modifiers() & ~Qt::ShiftModifier)) ||
        event == QKeySequence::Backspace;
    const bool cut = event == QKeySequence::Cut;
    const bool removes = backspace || cut || event == QKeySequence::Delete ||
                         event == QKeySequence::DeleteStartOfWord ||
                         event == QKeySequence::DeleteEndOfWord;
    QTextCursor range = textCursor();
    if (isReadOnly() || !removes || (cut && !range.hasSelection()))
        return false;
    if (cut) {
        copy();
    } else if (!range.hasSelection()) {
        if (backspace)
            range.setPosition(LogUnits::stepBack(document(), range.position()),
                              QTextCursor::KeepAnchor);
        else if (event == QKeySequence::Delete)
            range.setPosition(LogUnits::stepForward(document(), range.position()),
                              QTextCursor::KeepAnchor);
        else
            range.movePosition(event == QKeySequence::DeleteStartOfWord ? QTextCursor::PreviousWord
                                                                        : QTextCursor::NextWord,
                               QTextCursor::KeepAnchor);
    }
    removeRange(range);
    return true;
}

void ResponseBox::removeRange(QTextCursor range)
{
    editsFollow();
    LogUnits::widenToTags(range);
    if (range.hasSelection())
        LogDocument::removeSelection(range);
    setTextCursor(range);
    ensureCursorVisible();
}

void ResponseBox::dropEvent(QDropEvent *event)
{
    // Qt moves text within the box by removing it its own way; here the drop inserts a copy,
    // and the dragged text goes after it as the keys remove it. Dropped into itself, it stays.
    if (event->source() != this || event->dropAction() != Qt::MoveAction) {
        QPlainTextEdit::dropEvent(event);
        return;
    }
    const QTextCursor dragged = textCursor();
    const int at = cursorForPosition(event->position().toPoint()).position();
    if (at > dragged.selectionStart() && at < dragged.selectionEnd()) {
        event->ignore();
        return;
    }
    event->setDropAction(Qt::CopyAction);
    QPlainTextEdit::dropEvent(event);
    if (event->isAccepted())
        removeRange(dragged);
    event->setDropAction(Qt::MoveAction);
}

void ResponseBox::keyPressEvent(QKeyEvent *event)
{
    editsFollow();
    if (removeByKey(event)) {
        event->accept();
        return;
    }
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
    // Cut and Delete remove as the keys do.
    for (const char *name : {"edit-cut", "edit-delete"}) {
        if (QAction *action = menu->findChild<QAction *>(QLatin1String(name))) {
            const bool copies = action->objectName() == QLatin1String("edit-cut");
            disconnect(action, &QAction::triggered, nullptr, nullptr);
            connect(action, &QAction::triggered, this, [this, copies] {
                if (copies)
                    copy();
                removeRange(textCursor());
            });
        }
    }
    menu->addSeparator();
    QAction *details = menu->addAction(tr("Show Details"), this, &ResponseBox::setDetailsShown);
    details->setCheckable(true);
    details->setChecked(detailsShown());
    menu->addAction(tr("Save Log As\u2026"), this, &ResponseBox::saveLogRequested);
    menu->addAction(tr("Save Transcript As\u2026"), this, &ResponseBox::saveTranscriptRequested);
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
            LogPainter::paintBlockMarks(painter, block, area.topLeft(), viewport()->width());
    }
}
