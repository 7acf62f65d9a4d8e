#pragma once

#include <QString>

class QPlainTextEdit;

// The response log lives in a text box as lines ended by CR LF. Control characters inside a
// line are shown as visible symbols (so a CR in a reply neither breaks the line nor vanishes)
// and are given back as themselves when the log is read.

// Adds line and CR LF at the end, continuing a last line that has no CR LF. The operator's
// caret and the scroll position stay where they were.
void appendLogLine(QPlainTextEdit *box, const QString &line);

// The whole log as the controller sent it: every line break as CR LF, every symbol as the
// character it stands for.
QString logText(const QPlainTextEdit *box);
