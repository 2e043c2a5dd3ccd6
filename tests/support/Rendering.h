// Rendering: pixel checks on widget grabs for the appearance tests (offscreen
// platform): the colour at a point and the contrast of a control's text against its
// background, by the WCAG 2 formula. Main thread.
#pragma once

#include <QColor>
#include <QImage>
#include <QRect>

class QWidget;

// The window as drawn, in logical pixels (device pixel ratio 1 on the offscreen platform).
QImage GrabWindow(QWidget *window);
// The colour of a control's pixel at a point in its own coordinates, from the window's grab.
QColor PixelOf(QWidget *control, QPoint point);
// The WCAG 2 contrast ratio of two colours: 1 to 21.
double ContrastRatio(const QColor &a, const QColor &b);

struct TTextContrast {
    QColor Background; // the most frequent colour of the area
    QColor Text;       // the colour that differs most from it
    double Ratio = 0;
};
// Measures the text of a control inside area (control coordinates) of the window's grab.
TTextContrast MeasureTextContrast(QWidget *control, QRect area);
