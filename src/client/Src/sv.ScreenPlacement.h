// sv.ScreenPlacement: whether a window placed at a saved position would be visible.
// Pure function, any thread.
#pragma once

#include <QList>
#include <QPoint>
#include <QRect>
#include <QSize>

// True when the top-left point and the bottom-right point (top-left + outer size)
// each lie on some screen, possibly different ones. A screen contains a point when
// left <= x < left + width and top <= y < top + height.
[[nodiscard]] bool IsPlacementVisible(QPoint topLeft, QSize outerSize, const QList<QRect> &screens);
