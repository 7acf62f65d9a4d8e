#include "logmimedata.h"

#include "bytenotation.h"
#include "logdocument.h"

#include <QDataStream>
#include <QMimeData>
#include <QTextBlock>
#include <QTextCursor>

#include <algorithm>
#include <vector>

namespace LogMimeData
{
namespace
{

// Runs of one kind, in order: received text as the characters that came in, typed text as
// typed, and the end of a line.
enum class Run : quint8 { Received, Typed, LineEnd };

} // namespace

QMimeData *fromDocument(const QTextDocument *document, int from, int to, const QString &readable)
{
    QByteArray runs;
    QDataStream out(&runs, QIODevice::WriteOnly);
    for (QTextBlock block = document->findBlock(from); block.isValid() && block.position() <= to;
         block = block.next()) {
        if (block.position() > from && !LogDocument::continues(block))
            out << Run::LineEnd << QString();
        for (auto piece = block.begin(); !piece.atEnd(); ++piece) {
            const QTextFragment fragment = piece.fragment();
            const int start = std::max(from, fragment.position());
            const int end = std::min(to, fragment.position() + fragment.length());
            if (start >= end)
                continue;
            const QString text = fragment.text().sliced(start - fragment.position(), end - start);
            if (LogDocument::isReceived(fragment))
                out << Run::Received << ByteNotation::original(text);
            else
                out << Run::Typed << text;
        }
    }
    auto *data = new QMimeData;
    data->setText(readable);
    data->setData(kType, runs);
    return data;
}

bool insert(QTextCursor &cursor, const QMimeData *data)
{
    if (!data->hasFormat(kType))
        return false;
    // Read whole before anything is inserted: another program may have put anything here.
    QDataStream in(data->data(kType));
    std::vector<std::pair<Run, QString>> runs;
    while (!in.atEnd()) {
        Run run;
        QString text;
        in >> run >> text;
        const bool bytes =
            std::all_of(text.cbegin(), text.cend(), [](QChar c) { return c.unicode() <= 0xFF; });
        if (in.status() != QDataStream::Ok || run > Run::LineEnd ||
            (run == Run::Received && !bytes))
            return false;
        runs.emplace_back(run, text);
    }
    cursor.beginEditBlock();
    for (const auto &[run, text] : runs) {
        if (run == Run::Received)
            LogDocument::insertReceived(cursor, text);
        else if (run == Run::Typed)
            LogDocument::insertTyped(cursor, text);
        else
            cursor.insertBlock(QTextBlockFormat(), QTextCharFormat());
    }
    cursor.endEditBlock();
    return true;
}

} // namespace LogMimeData
