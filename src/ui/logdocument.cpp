#include "logdocument.h"

#include "bytenotation.h"

#include <QRegularExpression>
#include <QTextBlock>
#include <QTextCursor>

#include <algorithm>

namespace LogDocument
{
namespace
{

constexpr int kReceived = QTextFormat::UserProperty + 1;
constexpr int kContinues = QTextFormat::UserProperty + 2;

} // namespace

bool isReceived(const QTextFragment &fragment)
{
    return fragment.charFormat().boolProperty(kReceived);
}

bool continues(const QTextBlock &block)
{
    return block.blockFormat().boolProperty(kContinues);
}

void insertReceived(QTextCursor &cursor, QStringView text)
{
    QTextCharFormat received;
    received.setProperty(kReceived, true);
    QTextBlockFormat continuation;
    continuation.setProperty(kContinues, true);

    // Shown piece by piece, tags whole: a reply may be megabytes long.
    QString piece;
    piece.reserve(kPieceLength);
    qsizetype room = kPieceLength - (cursor.block().length() - 1);
    for (QChar c : text) {
        const QString &tag = ByteNotation::tagFor(c);
        if (piece.size() + std::max<qsizetype>(tag.size(), 1) > room) {
            if (!piece.isEmpty())
                cursor.insertText(piece, received);
            cursor.insertBlock(continuation, received);
            piece.resize(0);
            room = kPieceLength;
        }
        if (tag.isEmpty())
            piece.append(c);
        else
            piece.append(tag);
    }
    if (!piece.isEmpty())
        cursor.insertText(piece, received);
}

void insertTyped(QTextCursor &cursor, const QString &text)
{
    const QStringList lines = QString(text)
                                  .replace(QStringLiteral("\r\n"), QStringLiteral("\n"))
                                  .split(QRegularExpression(QStringLiteral("[\r\n\u2029]")));
    for (qsizetype i = 0; i < lines.size(); ++i) {
        if (i > 0)
            cursor.insertBlock(QTextBlockFormat(), QTextCharFormat());
        cursor.insertText(lines[i], QTextCharFormat());
    }
}

void removeSelection(QTextCursor &cursor)
{
    // The document gives a joined block the mark of the block after the break when the one
    // before is empty, which would cut a line in two or join two lines.
    const QTextBlock first = cursor.document()->findBlock(cursor.selectionStart());
    const QTextBlockFormat line = first.blockFormat();
    const bool joins = !first.contains(cursor.selectionEnd());
    cursor.beginEditBlock();
    cursor.removeSelectedText();
    if (joins)
        cursor.setBlockFormat(line);
    cursor.endEditBlock();
}

} // namespace LogDocument
