#pragma once

#include <QString>

class QMimeData;
class QTextCursor;
class QTextDocument;

// A copy or a drag out of the response log carries, beside the text that other programs get,
// the log's own characters: what was received and what typed, and where lines end. Pasted or
// dropped back into the log it gives the same bytes, tags and all, not the tags as typed text.
namespace LogMimeData
{

inline const QString kType = QStringLiteral("application/x-vantrel-log");

// The document's text between two positions, with readable as the plain text.
QMimeData *fromDocument(const QTextDocument *document, int from, int to, const QString &readable);

// Inserts the log's characters that data carries at the cursor. False, and nothing inserted,
// when data carries none or they are damaged.
bool insert(QTextCursor &cursor, const QMimeData *data);

} // namespace LogMimeData
