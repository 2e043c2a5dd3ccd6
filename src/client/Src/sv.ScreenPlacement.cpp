#include "sv.ScreenPlacement.h"

#include <algorithm>
#include <climits>

namespace {

bool OnSomeScreen(QPoint point, const QList<QRect> &screens) {
    return std::any_of(screens.begin(), screens.end(), [point](const QRect &screen) {
        const qint64 x = point.x();
        const qint64 y = point.y();
        return screen.x() <= x && x < qint64{screen.x()} + screen.width() && screen.y() <= y &&
               y < qint64{screen.y()} + screen.height();
    });
}

} // namespace

bool IsPlacementVisible(QPoint topLeft, QSize outerSize, const QList<QRect> &screens) {
    const qint64 right = qint64{topLeft.x()} + outerSize.width();
    const qint64 bottom = qint64{topLeft.y()} + outerSize.height();
    if (right > INT_MAX || bottom > INT_MAX) {
        return false;
    }
    const QPoint bottomRight(static_cast<int>(right), static_cast<int>(bottom));
    return OnSomeScreen(topLeft, screens) && OnSomeScreen(bottomRight, screens);
}
