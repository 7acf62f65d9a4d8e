#pragma once

#include <QClipboard>
#include <QLineEdit>

#include <optional>

// The command box: one command, of any length an operator could need. Text pasted or dropped
// into it keeps only its first line, so that one Enter never puts several commands on the line,
// and is refused when the command would grow past kLongestCommand; the operator is told either
// way.
class CommandBox final : public QLineEdit
{
    Q_OBJECT
public:
    // A safety limit, far above any controller's command: a paste of megabytes would otherwise
    // take seconds and a gigabyte, in the box and in its undo history.
    static constexpr int kLongestCommand = 65536;

    explicit CommandBox(QWidget *parent = nullptr);

signals:
    // What the operator must know about text that was not taken as it came.
    void notice(const QString &message);

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void contextMenuEvent(QContextMenuEvent *event) override;
    void dropEvent(QDropEvent *event) override;

private:
    void pasteFrom(QClipboard::Mode mode);
    // What of text may go into the box in place of the selection; nothing when it may not.
    std::optional<QString> pasteable(const QString &text);
};
