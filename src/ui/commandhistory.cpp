#include "commandhistory.h"

#include <QKeyEvent>
#include <QLineEdit>

CommandHistory::CommandHistory(QLineEdit *box) : QObject(box), box_(box)
{
    box->installEventFilter(this);
}

bool CommandHistory::eventFilter(QObject *watched, QEvent *event)
{
    if (watched != box_ || event->type() != QEvent::KeyPress)
        return false;
    const auto *press = static_cast<QKeyEvent *>(event);
    switch (press->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        record(box_->text());
        return false;
    case Qt::Key_Up:
        step(-1);
        return true;
    case Qt::Key_Down:
        step(+1);
        return true;
    default:
        return false;
    }
}

void CommandHistory::record(const QString &command)
{
    if (sent_.isEmpty() || sent_.last() != command) {
        sent_.append(command);
        kept_ += command.size();
    }
    while (kept_ > kKeptCharacters) {
        kept_ -= sent_.first().size();
        sent_.removeFirst();
    }
    at_ = sent_.size();
}

void CommandHistory::step(int direction)
{
    if (at_ == sent_.size())
        draft_ = box_->text();
    qsizetype next = at_ + direction;
    // The box keeps the command after Enter: the first Up goes to the one before it.
    while (next >= 0 && next < sent_.size() && sent_[next] == box_->text())
        next += direction;
    if (next < 0)
        return;
    at_ = std::min(next, sent_.size());
    box_->setText(at_ == sent_.size() ? draft_ : sent_[at_]);
}
