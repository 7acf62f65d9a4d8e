#include "responseboxaccessible.h"

#include "detailsmargin.h"
#include "entrydetails.h"
#include "responsebox.h"

#include <QAccessibleWidget>
#include <QTextBlock>

#include <algorithm>

namespace
{

// The screen reader's view of a ResponseBox: Qt's own text box interface counts the breaks
// between the pieces of a long line as line breaks; this one leaves them out.
class ResponseBoxAccessible final : public QAccessibleWidget, public QAccessibleTextInterface
{
public:
    explicit ResponseBoxAccessible(ResponseBox *box)
        : QAccessibleWidget(box, QAccessible::EditableText), box_(box)
    {
    }

    void *interface_cast(QAccessible::InterfaceType type) override
    {
        if (type == QAccessible::TextInterface)
            return static_cast<QAccessibleTextInterface *>(this);
        return QAccessibleWidget::interface_cast(type);
    }

    QAccessible::State state() const override
    {
        QAccessible::State state = QAccessibleWidget::state();
        state.multiLine = true;
        state.selectableText = true;
        state.editable = !box_->isReadOnly();
        state.readOnly = box_->isReadOnly();
        return state;
    }

    QString text(QAccessible::Text t) const override
    {
        if (t == QAccessible::Value)
            return box_->readableText(0, endPosition());
        if (t == QAccessible::Description)
            if (const EntryDetails *details = box_->detailsAt(box_->textCursor().position()))
                return details->text();
        return QAccessibleWidget::text(t);
    }

    QString text(int startOffset, int endOffset) const override
    {
        return box_->readableText(positionOf(startOffset), positionOf(endOffset));
    }

    int characterCount() const override { return box_->pieces().readableOffset(endPosition()); }

    int cursorPosition() const override
    {
        return box_->pieces().readableOffset(box_->textCursor().position());
    }

    void setCursorPosition(int offset) override { select(offset, offset); }

    int selectionCount() const override { return box_->textCursor().hasSelection() ? 1 : 0; }

    void selection(int index, int *startOffset, int *endOffset) const override
    {
        *startOffset = *endOffset = 0;
        if (index != 0 || !box_->textCursor().hasSelection())
            return;
        *startOffset = box_->pieces().readableOffset(box_->textCursor().selectionStart());
        *endOffset = box_->pieces().readableOffset(box_->textCursor().selectionEnd());
    }

    void addSelection(int startOffset, int endOffset) override { select(startOffset, endOffset); }

    void removeSelection(int index) override
    {
        if (index == 0)
            setCursorPosition(cursorPosition());
    }

    void setSelection(int index, int startOffset, int endOffset) override
    {
        if (index == 0)
            select(startOffset, endOffset);
    }

    QRect characterRect(int offset) const override
    {
        QTextCursor at(box_->document());
        at.setPosition(positionOf(offset));
        QRect rect = box_->cursorRect(at);
        at.movePosition(QTextCursor::NextCharacter);
        const QRect next = box_->cursorRect(at);
        if (next.top() == rect.top() && next.left() > rect.left())
            rect.setRight(next.left() - 1);
        return QRect(box_->viewport()->mapToGlobal(rect.topLeft()), rect.size());
    }

    int offsetAtPoint(const QPoint &point) const override
    {
        const QPoint local = box_->viewport()->mapFromGlobal(point);
        return box_->pieces().readableOffset(box_->cursorForPosition(local).position());
    }

    void scrollToSubstring(int startIndex, int endIndex) override
    {
        select(startIndex, endIndex);
        box_->ensureCursorVisible();
    }

    QString attributes(int offset, int *startOffset, int *endOffset) const override
    {
        *startOffset = 0;
        *endOffset = characterCount();
        Q_UNUSED(offset);
        return QString();
    }

private:
    int endPosition() const { return box_->document()->characterCount() - 1; }

    int positionOf(int offset) const
    {
        return box_->pieces().positionOfOffset(std::clamp(offset, 0, characterCount()));
    }

    void select(int startOffset, int endOffset)
    {
        QTextCursor cursor(box_->document());
        cursor.setPosition(positionOf(startOffset));
        cursor.setPosition(positionOf(endOffset), QTextCursor::KeepAnchor);
        box_->setTextCursor(cursor);
    }

    ResponseBox *box_;
};

// The margin's rows, as they stand in view.
class DetailsMarginAccessible final : public QAccessibleWidget
{
public:
    explicit DetailsMarginAccessible(DetailsMargin *margin)
        : QAccessibleWidget(margin, QAccessible::StaticText)
    {
    }

    QString text(QAccessible::Text t) const override
    {
        if (t == QAccessible::Value)
            return static_cast<const DetailsMargin *>(widget())->shownRows();
        return QAccessibleWidget::text(t);
    }
};

QAccessibleInterface *responseBoxFactory(const QString &className, QObject *object)
{
    if (!object->isWidgetType())
        return nullptr;
    if (className == QLatin1String(ResponseBox::staticMetaObject.className()))
        return new ResponseBoxAccessible(static_cast<ResponseBox *>(object));
    if (className == QLatin1String(DetailsMargin::staticMetaObject.className()))
        return new DetailsMarginAccessible(static_cast<DetailsMargin *>(object));
    return nullptr;
}

} // namespace

void installResponseBoxAccessible()
{
    static const bool installed = [] {
        QAccessible::installFactory(responseBoxFactory);
        return true;
    }();
    Q_UNUSED(installed);
}
