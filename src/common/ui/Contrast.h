#pragma once
// Text colours that stay readable whatever the system palette: a widget that
// paints its own background must paint its text to match, or a dark palette
// gives light text on a light page.
#include <cmath>
#include <QColor>

namespace lb {

// WCAG relative luminance of a colour, 0 (black) to 1 (white).
inline double relativeLuminance(const QColor& c) {
    auto channel = [](double v) {
        return v <= 0.03928 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * channel(c.redF()) + 0.7152 * channel(c.greenF()) + 0.0722 * channel(c.blueF());
}

// 1 (none) to 21 (black on white); 4.5 is the usual floor for body text.
inline double contrastRatio(const QColor& a, const QColor& b) {
    double la = relativeLuminance(a), lb = relativeLuminance(b);
    if (la < lb)
        std::swap(la, lb);
    return (la + 0.05) / (lb + 0.05);
}

// Black or white, whichever reads better on the background.
inline QColor readableTextOn(const QColor& background) {
    return contrastRatio(Qt::black, background) >= contrastRatio(Qt::white, background)
               ? QColor(Qt::black)
               : QColor(Qt::white);
}

} // namespace lb
