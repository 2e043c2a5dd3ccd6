#include "support/Rendering.h"

#include <QWidget>

#include <cmath>
#include <map>

namespace {

double Channel(int value) {
    const double c = value / 255.0;
    return c <= 0.03928 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
}

double Luminance(const QColor &color) {
    return 0.2126 * Channel(color.red()) + 0.7152 * Channel(color.green()) +
           0.0722 * Channel(color.blue());
}

} // namespace

QImage GrabWindow(QWidget *window) {
    return window->grab().toImage();
}

QColor PixelOf(QWidget *control, QPoint point) {
    QWidget *window = control->window();
    return GrabWindow(window).pixelColor(control->mapTo(window, point));
}

double ContrastRatio(const QColor &a, const QColor &b) {
    const double la = Luminance(a);
    const double lb = Luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

TTextContrast MeasureTextContrast(QWidget *control, QRect area) {
    QWidget *window = control->window();
    const QImage image = GrabWindow(window);
    const QRect rect(control->mapTo(window, area.topLeft()), area.size());
    std::map<QRgb, int> counts;
    for (int y = rect.top(); y <= rect.bottom(); ++y) {
        for (int x = rect.left(); x <= rect.right(); ++x) {
            ++counts[image.pixel(x, y)];
        }
    }
    TTextContrast result;
    int most = 0;
    for (const auto &[rgb, count] : counts) {
        if (count > most) {
            most = count;
            result.Background = QColor::fromRgb(rgb);
        }
    }
    for (const auto &[rgb, count] : counts) {
        const double ratio = ContrastRatio(QColor::fromRgb(rgb), result.Background);
        if (ratio > result.Ratio) {
            result.Ratio = ratio;
            result.Text = QColor::fromRgb(rgb);
        }
    }
    return result;
}
