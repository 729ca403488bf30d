#include "viewer/alerts/AlertImages.h"

#include <QPainterPath>

namespace tarvell {
namespace {

QImage Blank(int size) {
    QImage img(size, size, QImage::Format_ARGB32_Premultiplied);
    img.fill(Qt::transparent);
    return img;
}

// A round badge with a mark: 0 a tick, 1 an exclamation mark, 2 a cross.
QImage KindIcon(int kind) {
    static const QColor fills[] = {QColor(77, 191, 38), QColor(255, 204, 0), QColor(204, 0, 0)};
    QImage img = Blank(32);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing, true);
    p.setPen(QPen(QColor(60, 40, 40), 1.5));
    p.setBrush(fills[kind]);
    p.drawEllipse(QRectF(2.5, 2.5, 27, 27));
    p.setPen(QPen(kind == 1 ? QColor(70, 40, 0) : Qt::white, 3.2, Qt::SolidLine, Qt::RoundCap,
                  Qt::RoundJoin));
    if (kind == 0) {
        QPainterPath tick;
        tick.moveTo(9.5, 16.5);
        tick.lineTo(14, 21);
        tick.lineTo(22.5, 11);
        p.setBrush(Qt::NoBrush);
        p.drawPath(tick);
    } else if (kind == 1) {
        p.drawLine(QPointF(16, 8.5), QPointF(16, 18.5));
        p.drawPoint(QPointF(16, 23.5));
    } else {
        p.drawLine(QPointF(11, 11), QPointF(21, 21));
        p.drawLine(QPointF(21, 11), QPointF(11, 21));
    }
    return img;
}

QImage CloseIcon(bool hot) {
    QImage img = Blank(21);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing, true);
    p.setPen(QPen(hot ? QColor(255, 255, 255) : QColor(255, 255, 255, 170), 1));
    p.setBrush(hot ? QColor(255, 255, 255) : QColor(255, 255, 255, 60));
    p.drawRoundedRect(QRectF(1.5, 1.5, 18, 18), 3, 3);
    p.setPen(QPen(hot ? QColor(26, 0, 66) : Qt::white, 2.2, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(6.5, 6.5), QPointF(14.5, 14.5));
    p.drawLine(QPointF(14.5, 6.5), QPointF(6.5, 14.5));
    return img;
}

}  // namespace

const ImageList& AlertKindImages() {
    static const ImageList list = [] {
        ImageList l(QSize(32, 32));
        for (int i = 0; i < 3; ++i) l.Add(KindIcon(i));
        return l;
    }();
    return list;
}

const ImageList& AlertCloseImages() {
    static const ImageList list = [] {
        ImageList l(QSize(21, 21));
        l.Add(CloseIcon(false));
        l.Add(CloseIcon(true));
        return l;
    }();
    return list;
}

}  // namespace tarvell
