#include "commandbox.h"

#include <QContextMenuEvent>
#include <QGuiApplication>
#include <QMenu>
#include <QMimeData>
#include <QRegularExpression>

#include <memory>

namespace
{
const QRegularExpression kLineBreak(QStringLiteral("[\r\n\u2028\u2029]"));
} // namespace

CommandBox::CommandBox(QWidget *parent) : QLineEdit(parent)
{
    setMaxLength(kLongestCommand);
}

std::optional<QString> CommandBox::pasteable(const QString &text)
{
    const qsizetype lineEnd = text.indexOf(kLineBreak);
    const QString line = text.left(lineEnd);
    const qsizetype length = this->text().size() - selectedText().size() + line.size();
    if (length > kLongestCommand) {
        emit notice(tr("Nothing was pasted: the command would be %L1 characters long, and a "
                       "command can hold at most %L2.")
                        .arg(length)
                        .arg(kLongestCommand));
        return std::nullopt;
    }
    // A line break would end the command on the wire and start another one nobody sent.
    if (lineEnd >= 0 && !QStringView(text).sliced(lineEnd).trimmed().isEmpty())
        emit notice(tr("Only the first line of the pasted text was put in the command box: Enter "
                       "sends one command at a time."));
    return line;
}

void CommandBox::pasteFrom(QClipboard::Mode mode)
{
    if (isReadOnly())
        return;
    if (const std::optional<QString> line = pasteable(QGuiApplication::clipboard()->text(mode)))
        insert(*line);
}

void CommandBox::keyPressEvent(QKeyEvent *event)
{
    if (event == QKeySequence::Paste) {
        pasteFrom(QClipboard::Clipboard);
        event->accept();
        return;
    }
    QLineEdit::keyPressEvent(event);
}

void CommandBox::mouseReleaseEvent(QMouseEvent *event)
{
    // The middle button pastes the selection, where the window system has one.
    if (event->button() == Qt::MiddleButton && QGuiApplication::clipboard()->supportsSelection()) {
        deselect();
        pasteFrom(QClipboard::Selection);
        event->accept();
        return;
    }
    QLineEdit::mouseReleaseEvent(event);
}

void CommandBox::contextMenuEvent(QContextMenuEvent *event)
{
    const std::unique_ptr<QMenu> menu(createStandardContextMenu());
    if (QAction *pasteAction = menu->findChild<QAction *>(QStringLiteral("edit-paste"))) {
        disconnect(pasteAction, &QAction::triggered, nullptr, nullptr);
        connect(pasteAction, &QAction::triggered, this,
                [this] { pasteFrom(QClipboard::Clipboard); });
    }
    menu->exec(event->globalPos());
}

void CommandBox::dropEvent(QDropEvent *event)
{
    const std::optional<QString> line = pasteable(event->mimeData()->text());
    if (!line) {
        event->ignore();
        return;
    }
    // QLineEdit places the dropped text itself; it gets the first line only.
    QMimeData firstLine;
    firstLine.setText(*line);
    QDropEvent drop(event->position(), event->possibleActions(), &firstLine, event->buttons(),
                    event->modifiers());
    drop.setDropAction(event->dropAction());
    QLineEdit::dropEvent(&drop);
    event->setDropAction(drop.dropAction());
    event->setAccepted(drop.isAccepted());
}
