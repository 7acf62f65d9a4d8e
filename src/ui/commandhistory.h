#pragma once

#include <QObject>
#include <QStringList>

class QLineEdit;

// Up and Down in the command box step through the commands sent in this run, as in a shell.
// Watches the box's keys; Enter records the command and still reaches the window's handler.
// The oldest commands go once the history holds more than kKeptCharacters.
class CommandHistory final : public QObject
{
    Q_OBJECT
public:
    // A bound for runs of days: room for thousands of ordinary commands, or sixteen of the
    // longest the command box takes.
    static constexpr qsizetype kKeptCharacters = qsizetype(1) << 20;

    explicit CommandHistory(QLineEdit *box);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void step(int direction);
    void record(const QString &command);

    QLineEdit *box_;
    QStringList sent_;
    qsizetype kept_ = 0; // characters in sent_
    qsizetype at_ = 0;   // sent_.size() while the operator is not stepping
    QString draft_;      // what the box held before stepping began
};
