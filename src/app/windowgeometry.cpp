#include "windowgeometry.h"

QRect startGeometry(const QRect &stored, const QSize &naturalSize, const QRect &primaryScreen,
                    const QList<QRect> &availableAreas)
{
    if (stored.isValid()) {
        for (const QRect &area : availableAreas) {
            if (area.contains(stored))
                return stored;
        }
    }
    QRect centred(QPoint(0, 0), naturalSize);
    centred.moveTopLeft(primaryScreen.center() - centred.center());
    return centred;
}
