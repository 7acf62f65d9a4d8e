#include "responselog.h"

#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>

namespace
{

// C0 controls and DEL have Unicode control pictures (U+2400 + code, DEL at U+2421). The C1
// controls of Latin-1 have none; they go to the private-use area, where fonts draw a box.
constexpr char16_t kPictures = 0x2400;
constexpr char16_t kDelPicture = 0x2421;
constexpr char16_t kC1Stand = 0xE000;

QChar shown(QChar c)
{
    const char16_t code = c.unicode();
    if (code < 0x20)
        return QChar(char16_t(kPictures + code));
    if (code == 0x7F)
        return QChar(kDelPicture);
    if (code >= 0x80 && code < 0xA0)
        return QChar(char16_t(kC1Stand + code));
    return c;
}

QChar original(QChar c)
{
    const char16_t code = c.unicode();
    if (code >= kPictures && code < kPictures + 0x20)
        return QChar(char16_t(code - kPictures));
    if (code == kDelPicture)
        return QChar(char16_t(0x7F));
    if (code >= kC1Stand + 0x80 && code < kC1Stand + 0xA0)
        return QChar(char16_t(code - kC1Stand));
    return c;
}

} // namespace

void appendLogLine(QPlainTextEdit *box, const QString &line)
{
    QString visible(line.size(), Qt::Uninitialized);
    for (qsizetype i = 0; i < line.size(); ++i)
        visible[i] = shown(line[i]);

    // A caret at the end would be pushed along by the insertion; the operator's caret and view
    // are put back where they were.
    QScrollBar *scroll = box->verticalScrollBar();
    const int scrolled = scroll->value();
    const int anchor = box->textCursor().anchor();
    const int position = box->textCursor().position();
    QTextCursor end(box->document());
    end.movePosition(QTextCursor::End);
    end.insertText(visible);
    end.insertBlock();
    QTextCursor caret(box->document());
    caret.setPosition(anchor);
    caret.setPosition(position, QTextCursor::KeepAnchor);
    box->setTextCursor(caret);
    scroll->setValue(scrolled);
}

QString logText(const QPlainTextEdit *box)
{
    QString text;
    for (QTextBlock block = box->document()->begin(); block.isValid(); block = block.next()) {
        if (block != box->document()->begin())
            text += QStringLiteral("\r\n");
        for (QChar c : block.text())
            text += original(c);
    }
    return text;
}
