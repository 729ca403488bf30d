#include "viewer/summary/DialogLook.h"

#include <QPainterPath>

#include "viewer/core/Look.h"
#include "viewer/core/SummaryRules.h"
#include "viewer/widgets/Fonts.h"
#include "viewer/widgets/TextConv.h"

namespace tarvell {

const QImage& DialImage() {
    static const QImage image = [] {
        QImage img(kDialSize, QImage::Format_ARGB32_Premultiplied);
        img.fill(Qt::transparent);
        QPainter p(&img);
        p.setRenderHint(QPainter::Antialiasing, true);
        // The chart box relative to the image (the image sits 76 left of and 47 above the panel's
        // centre, the box 49 left of and 22 above it).
        const Rect box{27, 25, 127, 127};
        const Rect outer{box.left - 6, box.top - 6, box.right + 6, box.bottom + 6};
        const Rect inner{box.left + 6, box.top + 6, box.right - 6, box.bottom - 6};
        QFont f = DesignFont(QStringLiteral("Tahoma"), 9);
        p.setFont(f);
        for (int level = 0; level <= 100; level += 5) {
            const bool major = level % 25 == 0;
            const PointF a = DialPoint(major ? inner : box, level), b = DialPoint(outer, level);
            p.setPen(QPen(QColor(110, 110, 110), major ? 2 : 1));
            p.drawLine(QPointF(a.x, a.y), QPointF(b.x, b.y));
            if (level % 50 == 0) {
                const Rect label{box.left + 18, box.top + 18, box.right - 18, box.bottom - 18};
                const PointF t = DialPoint(label, level);
                p.setPen(ToQColor(look::kText));
                p.drawText(QRectF(t.x - 14, t.y - 7, 28, 14), Qt::AlignCenter, QString::number(level));
            }
        }
        // The rim over the sweep, from the 0 mark to the 100 mark.
        p.setPen(QPen(ToQColor(look::kPanelFrame), 2));
        const PieAngles sweep = PieSector(outer, 100);
        p.drawArc(QRectF(outer.left, outer.top, outer.Width(), outer.Height()), static_cast<int>(sweep.startDeg * 16),
                  static_cast<int>(sweep.spanDeg * 16));
        return img;
    }();
    return image;
}

}  // namespace tarvell
