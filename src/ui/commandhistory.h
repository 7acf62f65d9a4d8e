#pragma once

#include <QObject>
#include <QStringList>

class QLineEdit;

// Up and Down in the command box step through the commands sent in this run, as in a shell.
// Watches the box's keys; Enter records the command and still reaches the window's handler.
class CommandHistory final : public QObject
{
    Q_OBJECT
public:
    explicit CommandHistory(QLineEdit *box);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void step(int direction);

    QLineEdit *box_;
    QStringList sent_;
    qsizetype at_ = 0; // sent_.size() while the operator is not stepping
    QString draft_;    // what the box held before stepping began
};
