#pragma once

#include "pieceindex.h"

#include <QPlainTextEdit>

#include <functional>

class DetailsMargin;
class EntryDetails;
class QMimeData;
struct ExchangeRecord;

// The response log: lines ended by CR LF, kept as the controller sent them. Every byte is
// visible (see ByteNotation), a line of any length costs the same to add and to show, logged
// lines cannot be undone, and the view follows new lines while it shows the end of the log.
// Editing keeps the bytes: a tag is one unit to the caret and to every edit, and a copy, a cut
// or a drag within the log carries the log's own characters (see LogMimeData). Beside its text,
// an entry that an exchange logged keeps that exchange's details (see EntryDetails): a tool tip,
// the details margin when it is shown, and the screen reader give them.
class ResponseBox final : public QPlainTextEdit
{
    Q_OBJECT
public:
    explicit ResponseBox(QWidget *parent = nullptr);

    // Adds line and CR LF at the end, continuing a last line that has no CR LF. The operator's
    // caret stays where it is; the view settles when the window next handles its events.
    void appendLine(const QString &line);

    // The whole log as received: every line ended by CR LF, every tag as its character.
    QString logText() const;

    // The text between two positions as a reader sees it: tags as shown, a long line whole,
    // lines separated by "\n". A copy and the screen reader get this.
    QString readableText(int from, int to) const;

    // Positions in the box against offsets in readableText(0, end).
    const PieceIndex &pieces() const { return pieces_; }

    // Keeps the details of the exchange whose line the last appendLine added beside that line.
    void describeLastLine(const ExchangeRecord &record);

    // The details of the entry that holds position; none for a line no exchange logged.
    const EntryDetails *detailsAt(int position) const;

    // Calls shown() for each entry in view that has details, with the top of its first line in
    // the view's coordinates.
    void
    forEachEntryInView(const std::function<void(const EntryDetails &, qreal top)> &shown) const;

    // The details margin; off when the window starts.
    void setDetailsShown(bool shown);
    bool detailsShown() const;

signals:
    void saveLogRequested();
    void saveTranscriptRequested();

protected:
    QMimeData *createMimeDataFromSelection() const override;
    void insertFromMimeData(const QMimeData *source) override;
    void keyPressEvent(QKeyEvent *event) override;
    void inputMethodEvent(QInputMethodEvent *event) override;
    void contextMenuEvent(QContextMenuEvent *event) override;
    void dropEvent(QDropEvent *event) override;
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    bool viewportEvent(QEvent *event) override;

private:
    void releaseMemory();
    void settleView();
    void editsFollow();
    void typeText(const QString &text);
    void plainCaret();
    void keepTagsWhole();
    bool removeByKey(QKeyEvent *event);
    void removeRange(QTextCursor range);
    void placeMargin();
    void announceEntry();

    bool viewPending_ = false;
    bool followEnd_ = true;
    int scrolledTo_ = 0;
    int caretWas_ = 0;
    PieceIndex pieces_{document()};
    int lastLineStart_ = -1; // block number of the first block of the line appended last
    DetailsMargin *margin_;
    const EntryDetails *caretEntry_ = nullptr; // what the screen reader was last told of
};
