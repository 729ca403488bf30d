#include "viewer/widgets/Painting.h"

#include "viewer/core/look/Look.h"
#include "viewer/widgets/TextConv.h"

namespace tarvell {

void FillGradientColumns(QPainter& p, const QRect& r, Rgb left, Rgb right) {
    const int w = r.width();
    for (int x = 0; x < w; ++x)
        p.fillRect(QRect(r.left() + x, r.top(), 1, r.height()),
                   ToQColor(GradientAt(left, right, x, w)));
}

void FillPageGradient(QPainter& p, const QRect& r) {
    FillGradientColumns(p, r, look::kPageLeft, look::kPageRight);
}

void FillRoundedPanel(QPainter& p, const QRect& r) {
    p.save();
    p.setRenderHint(QPainter::Antialiasing, false);
    p.setPen(ToQColor(look::kPanelFrame));
    p.setBrush(Qt::white);
    // The corner size (as Windows RoundRect takes it) is the ellipse's diameter; Qt takes radii.
    const qreal radius = look::kPanelCorner / 2.0;
    p.drawRoundedRect(QRectF(r).adjusted(0, 0, -1, -1), radius, radius);
    p.restore();
}

void DrawDottedDivider(QPainter& p, int left, int firstTop, int bottom, Rgb dark, Rgb light) {
    for (int top : DotTops(firstTop, bottom))
        for (int dy = 0; dy < kDotSize; ++dy)
            for (int dx = 0; dx < kDotSize; ++dx)
                p.fillRect(QRect(left + 2 + dx, top + dy, 1, 1),
                           ToQColor(DotPixel(dark, light, dx, dy)));
}

void DrawSortArrow(QPainter& p, QPoint o, bool ascending, const QColor& light, const QColor& dark) {
    p.save();
    p.setRenderHint(QPainter::Antialiasing, false);
    for (const ArrowLine& l : SortArrowLines(ascending)) {
        p.setPen(QPen(l.light ? light : dark, 1));
        p.drawLine(o.x() + l.x0, o.y() + l.y0, o.x() + l.x1, o.y() + l.y1);
    }
    p.restore();
}

}  // namespace tarvell
