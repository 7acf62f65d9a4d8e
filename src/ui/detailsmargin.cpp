#include "detailsmargin.h"

#include "entrydetails.h"
#include "responsebox.h"
#include "responseboxaccessible.h"

#include <QPaintEvent>
#include <QPainter>

DetailsMargin::DetailsMargin(ResponseBox *box) : QWidget(box), box_(box)
{
    // Before the name is set: setting it caches the interface that a screen reader gets.
    installResponseBoxAccessible();
    setAccessibleName(tr("Details"));
    hide();
}

int DetailsMargin::widthNeeded() const
{
    return fontMetrics().horizontalAdvance(QStringLiteral("00:00:00.000 00000 ms bad FCS")) + 8;
}

QString DetailsMargin::shownRows() const
{
    QStringList rows;
    box_->forEachEntryInView(
        [&rows](const EntryDetails &details, qreal) { rows.append(details.row()); });
    return rows.join(u'\n');
}

void DetailsMargin::paintEvent(QPaintEvent *event)
{
    QPainter painter(this);
    painter.fillRect(event->rect(), palette().window());
    painter.setPen(palette().color(QPalette::PlaceholderText));
    // The margin's top is the view's, so a block's top in the view is its row's top here.
    const int lineHeight = fontMetrics().height();
    box_->forEachEntryInView([&](const EntryDetails &details, qreal top) {
        painter.drawText(QRectF(4, top, width() - 8, lineHeight), Qt::AlignLeft | Qt::AlignVCenter,
                         details.row());
    });
}
