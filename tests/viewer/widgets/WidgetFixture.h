// Helpers of the widget tests: pictures of widgets and questions about their pixels.
#pragma once

#include <QApplication>
#include <QImage>
#include <QTest>
#include <QWidget>
#include <functional>

#include "viewer/core/look/Geometry.h"

namespace tarvell::test {

// What the widget paints now, one image pixel per widget pixel.
inline QImage Picture(QWidget& w) {
    QApplication::processEvents();
    return w.grab().toImage().convertToFormat(QImage::Format_RGB32);
}

inline bool Is(QRgb px, Rgb c) { return qRed(px) == c.r && qGreen(px) == c.g && qBlue(px) == c.b; }
inline bool Is(QRgb px, const QColor& c) {
    return Is(px, Rgb{static_cast<std::uint8_t>(c.red()), static_cast<std::uint8_t>(c.green()),
                      static_cast<std::uint8_t>(c.blue())});
}
inline int Luma(QRgb px) { return (qRed(px) * 299 + qGreen(px) * 587 + qBlue(px) * 114) / 1000; }

// Moves the mouse to `at` in `w`. Qt drops a move to where the mouse already is (a previous test
// may have left it there), so the mouse first goes one pixel aside.
inline void HoverAt(QWidget* w, QPoint at) {
    QTest::mouseMove(w, at + QPoint(1, 0));
    QTest::mouseMove(w, at);
    QApplication::processEvents();
}

// Pixels of `area` for which `pred` holds.
inline int Count(const QImage& img, QRect area, const std::function<bool(QRgb)>& pred) {
    area = area.intersected(img.rect());
    int n = 0;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            if (pred(img.pixel(x, y))) ++n;
    return n;
}

// The bounding box of the pixels of `area` for which `pred` holds (empty when none).
inline QRect Box(const QImage& img, QRect area, const std::function<bool(QRgb)>& pred) {
    area = area.intersected(img.rect());
    QRect box;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            if (pred(img.pixel(x, y))) box = box.united(QRect(x, y, 1, 1));
    return box;
}

// Text ink on a light background: pixels clearly darker than the fill.
inline std::function<bool(QRgb)> Ink(int below = 200) {
    return [below](QRgb px) { return Luma(px) < below; };
}

}  // namespace tarvell::test
