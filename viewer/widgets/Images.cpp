#include "viewer/widgets/Images.h"

#include <QPainterPath>
#include <map>

#include "viewer/core/base/CommandIds.h"
#include "viewer/core/look/Look.h"
#include "viewer/widgets/TextConv.h"

namespace tarvell {

namespace {

QImage Blank(int w, int h) {
    QImage img(w, h, QImage::Format_ARGB32_Premultiplied);
    img.fill(Qt::transparent);
    return img;
}

void Smooth(QPainter& p) { p.setRenderHint(QPainter::Antialiasing, true); }

QPainterPath Shield(const QRectF& r) {
    QPainterPath path;
    const qreal cx = r.center().x();
    path.moveTo(cx, r.top());
    path.cubicTo(r.left() + r.width() * 0.3, r.top() + r.height() * 0.12, r.left(),
                 r.top() + r.height() * 0.12, r.left(), r.top() + r.height() * 0.18);
    path.lineTo(r.left(), r.top() + r.height() * 0.45);
    path.cubicTo(r.left(), r.top() + r.height() * 0.75, cx - r.width() * 0.2,
                 r.bottom() - r.height() * 0.08, cx, r.bottom());
    path.cubicTo(cx + r.width() * 0.2, r.bottom() - r.height() * 0.08, r.right(),
                 r.top() + r.height() * 0.75, r.right(), r.top() + r.height() * 0.45);
    path.lineTo(r.right(), r.top() + r.height() * 0.18);
    path.cubicTo(r.right(), r.top() + r.height() * 0.12, r.left() + r.width() * 0.7,
                 r.top() + r.height() * 0.12, cx, r.top());
    return path;
}

QImage ProgramIconImage() {
    QImage img = Blank(32, 32);
    QPainter p(&img);
    Smooth(p);
    QLinearGradient g(0, 0, 32, 32);
    g.setColorAt(0, ToQColor(look::kBandLeft));
    g.setColorAt(1, QColor(66, 26, 66));
    p.setPen(QPen(QColor(40, 15, 40), 1));
    p.setBrush(g);
    p.drawPath(Shield(QRectF(3.5, 1.5, 25, 29)));
    // Three linked ports: a switch in the shield.
    p.setPen(QPen(Qt::white, 2));
    p.drawLine(QPointF(10, 12), QPointF(22, 12));
    p.drawLine(QPointF(16, 12), QPointF(16, 22));
    p.setBrush(Qt::white);
    p.setPen(Qt::NoPen);
    for (QPointF c : {QPointF(10, 12), QPointF(22, 12), QPointF(16, 22)})
        p.drawEllipse(c, 2.6, 2.6);
    return img;
}

// The five page icons of the toolbars and the header; `hot` draws them in full colour.
QImage PageIcon(int index, bool hot) {
    QImage img = Blank(40, 40);
    QPainter p(&img);
    Smooth(p);
    const QColor ink = hot ? QColor(66, 26, 66) : QColor(120, 110, 130);
    const QColor fill = hot ? QColor(185, 165, 215) : QColor(220, 214, 226);
    const QColor accent = hot ? QColor(235, 40, 0) : QColor(170, 150, 150);
    p.setPen(QPen(ink, 2));
    p.setBrush(fill);
    switch (index) {
        case 0:  // Summary: a bar chart on a panel
            p.drawRoundedRect(QRectF(4, 6, 32, 28), 3, 3);
            p.setBrush(ink);
            p.setPen(Qt::NoPen);
            p.drawRect(QRectF(10, 20, 5, 10));
            p.drawRect(QRectF(18, 14, 5, 16));
            p.setBrush(accent);
            p.drawRect(QRectF(26, 10, 5, 20));
            break;
        case 1:  // Monitor: a screen with a pulse line
            p.drawRoundedRect(QRectF(4, 6, 32, 22), 3, 3);
            p.drawLine(QPointF(20, 28), QPointF(20, 33));
            p.drawLine(QPointF(12, 34), QPointF(28, 34));
            p.setPen(QPen(accent, 2));
            p.drawPolyline(QPolygonF({QPointF(8, 18), QPointF(14, 18), QPointF(17, 11),
                                      QPointF(22, 24), QPointF(25, 17), QPointF(32, 17)}));
            break;
        case 2:  // Protect: a shield with a tick
            p.drawPath(Shield(QRectF(7, 3, 26, 34)));
            p.setPen(QPen(hot ? QColor(255, 255, 255) : QColor(250, 250, 250), 3));
            p.drawPolyline(QPolygonF({QPointF(13, 20), QPointF(18, 25), QPointF(27, 14)}));
            break;
        case 3: {  // Alerts: a warning triangle
            QPolygonF tri({QPointF(20, 4), QPointF(37, 35), QPointF(3, 35)});
            p.setBrush(hot ? QColor(255, 205, 90) : fill);
            p.drawPolygon(tri);
            p.setPen(QPen(hot ? accent : ink, 3));
            p.drawLine(QPointF(20, 14), QPointF(20, 25));
            p.drawPoint(QPointF(20, 30));
            break;
        }
        default: {  // Settings: a cog
            QPainterPath cog;
            for (int i = 0; i < 8; ++i) {
                QTransform t;
                t.translate(20, 20);
                t.rotate(i * 45.0);
                cog.addPolygon(t.map(QPolygonF(QRectF(-3.5, -17, 7, 8))));
            }
            cog.addEllipse(QPointF(20, 20), 12, 12);
            p.setPen(Qt::NoPen);
            p.setBrush(ink);
            p.drawPath(cog.simplified());
            p.setBrush(fill);
            p.drawEllipse(QPointF(20, 20), 5, 5);
            break;
        }
    }
    return img;
}

QImage ServiceStateImage(bool running) {
    QImage img = Blank(51, 20);
    QPainter p(&img);
    Smooth(p);
    const QColor body = running ? QColor(60, 160, 70) : QColor(200, 50, 40);
    p.setPen(QPen(body.darker(140), 1));
    p.setBrush(body);
    p.drawRoundedRect(QRectF(0.5, 0.5, 50, 19), 9.5, 9.5);
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::white);
    if (running) p.drawPolygon(QPolygonF({QPointF(21, 5), QPointF(31, 10), QPointF(21, 15)}));
    else p.drawRect(QRectF(21, 5, 9, 10));
    return img;
}

QImage BackImage() {
    QImage img = Blank(42, 33);
    QPainter p(&img);
    Smooth(p);
    p.setPen(QPen(Qt::white, 2));
    p.setBrush(QColor(255, 255, 255, 60));
    p.drawEllipse(QPointF(21, 16.5), 14, 14);
    p.setBrush(Qt::white);
    p.setPen(Qt::NoPen);
    p.drawPolygon(
        QPolygonF({QPointF(12, 16.5), QPointF(21, 9), QPointF(21, 13.5), QPointF(29, 13.5),
                   QPointF(29, 19.5), QPointF(21, 19.5), QPointF(21, 24)}));
    return img;
}

QImage RowImage(bool prevention, bool note) {
    QImage img = Blank(16, 16);
    QPainter p(&img);
    Smooth(p);
    const QColor c = prevention ? QColor(200, 50, 40) : QColor(60, 90, 190);
    p.setPen(QPen(c.darker(150), 1));
    p.setBrush(c);
    p.drawEllipse(QPointF(7, 8), 5.5, 5.5);
    if (note) {
        p.setPen(QPen(QColor(90, 80, 40), 1));
        p.setBrush(QColor(255, 230, 120));
        p.drawRect(QRectF(9.5, 8.5, 6, 7));
    }
    return img;
}

std::map<unsigned, ImageList>& Store() {
    static std::map<unsigned, ImageList> store;
    return store;
}

}  // namespace

void BuildViewerImages() {
    auto& s = Store();
    if (!s.empty()) return;
    ImageList icon(QSize(32, 32));
    icon.Add(ProgramIconImage());
    s[res::kAppIcon] = std::move(icon);
    ImageList normal(QSize(40, 40)), hot(QSize(40, 40));
    for (int i = 0; i < 5; ++i) {
        normal.Add(PageIcon(i, false));
        hot.Add(PageIcon(i, true));
    }
    s[res::kToolbarNormal] = std::move(normal);
    s[res::kToolbarHot] = std::move(hot);
    ImageList state(QSize(51, 20));
    state.Add(ServiceStateImage(false));
    state.Add(ServiceStateImage(true));
    s[res::kServiceState] = std::move(state);
    ImageList back(QSize(42, 33));
    back.Add(BackImage());
    s[res::kBackButton] = std::move(back);
    ImageList fav(QSize(24, 24));
    for (int page : {1, 2, 3, 4}) fav.Add(PageIcon(page, true));
    s[res::kFavorites] = std::move(fav);
    ImageList rows(QSize(16, 16));
    rows.Add(RowImage(false, false));
    rows.Add(RowImage(false, true));
    rows.Add(RowImage(true, false));
    rows.Add(RowImage(true, true));
    s[res::kEventRows] = std::move(rows);
}

const ImageList& ViewerImages(unsigned resource) {
    BuildViewerImages();
    static const ImageList empty;
    const auto& s = Store();
    const auto it = s.find(resource);
    return it == s.end() ? empty : it->second;
}

QIcon ProgramIcon() {
    const ImageList& l = ViewerImages(res::kAppIcon);
    return l.Count() > 0 ? QIcon(QPixmap::fromImage(l.Image(0))) : QIcon();
}

}  // namespace tarvell
