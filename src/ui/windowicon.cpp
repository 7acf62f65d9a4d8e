#include "windowicon.h"

#include <QPainter>
#include <QSvgRenderer>

QIcon vantrelIcon()
{
    // Drawn here rather than through Qt's icon plugins, which a system may lack.
    QSvgRenderer drawing(QStringLiteral(":/icons/" VANTREL_APP_ID ".svg"));
    QIcon icon;
    for (const int size : {16, 24, 32, 48, 64, 128, 256}) {
        QPixmap picture(size, size);
        picture.fill(Qt::transparent);
        QPainter painter(&picture);
        drawing.render(&painter);
        painter.end();
        icon.addPixmap(picture);
    }
    return icon;
}
