#pragma once

#include <QWidget>

class ResponseBox;

// A margin beside the response log, like a code editor's line numbers: for each entry that an
// exchange logged, one short row of its details (time, milliseconds, outcome) level with the
// entry's first line. The box shows it on request; a screen reader reads the rows it shows.
class DetailsMargin final : public QWidget
{
    Q_OBJECT
public:
    explicit DetailsMargin(ResponseBox *box);

    int widthNeeded() const;

    // The rows in view, from the top, one to a line.
    QString shownRows() const;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    ResponseBox *box_;
};
