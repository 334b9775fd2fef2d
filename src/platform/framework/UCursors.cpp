#include "UCursors.h"

#include <QHash>

#include <algorithm>
#include <QImage>
#include <QPixmap>

const QCursor& GetResourceCursor(ResIDT cursorID)
{
    static QHash<ResIDT, QCursor> cursors;
    if (auto found = cursors.constFind(cursorID); found != cursors.constEnd())
        return *found;
    QCursor cursor(Qt::ArrowCursor);
    const QImage image(QStringLiteral(":/cursors/%1.png").arg(cursorID));
    if (!image.isNull()) {
        const QStringList hotSpot = image.text(QStringLiteral("HotSpot")).split(QLatin1Char(','));
        int x = 0, y = 0;
        if (hotSpot.size() == 2) {
            x = std::clamp(hotSpot[0].toInt(), 0, image.width() - 1);
            y = std::clamp(hotSpot[1].toInt(), 0, image.height() - 1);
        }
        cursor = QCursor(QPixmap::fromImage(image), x, y);
    }
    return *cursors.insert(cursorID, cursor);
}
