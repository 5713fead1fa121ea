#ifndef WINDOWGEOMETRY_H
#define WINDOWGEOMETRY_H

#include <QList>
#include <QRect>
#include <QSize>

// Where the main window goes at start-up: the stored geometry when it fits
// on one of the screens' available areas, otherwise the window's natural
// size centred on the primary screen. A stored size from a larger screen,
// or a damaged one, could put the window out of reach or make it too large
// to draw.
QRect startGeometry(const QRect &stored, const QSize &naturalSize, const QRect &primaryScreen,
                    const QList<QRect> &availableAreas);

#endif // WINDOWGEOMETRY_H
