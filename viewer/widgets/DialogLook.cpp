#include "viewer/widgets/DialogLook.h"

#include <QFileDialog>
#include <QMessageBox>
#include <QPainterPath>

#include "viewer/core/look/Look.h"
#include "viewer/core/summary/SummaryRules.h"
#include "viewer/widgets/Fonts.h"
#include "viewer/widgets/Painting.h"
#include "viewer/widgets/TextConv.h"

namespace tarvell {

void PaintBands(QPainter& p, const QRect& client, bool vertical) {
    const int length = vertical ? client.height() : client.width();
    for (int k = 0; k < 10; ++k) {
        const int from = length * k / 10, to = length * (k + 1) / 10;
        const QColor c(240 + k, 230 + k, 245 + k);
        if (vertical)
            p.fillRect(QRect(client.left(), client.top() + from, client.width(), to - from), c);
        else p.fillRect(QRect(client.left() + from, client.top(), to - from, client.height()), c);
    }
}

void PaintDialogFrame(QPainter& p, const QRect& client, int margin, int right, int panelBottom) {
    PaintBands(p, client, true);
    p.fillRect(QRect(client.left(), client.top(), client.width(), kHeaderBandHeight),
               ToQColor(kHeaderBand));
    FillRoundedPanel(p, QRect(QPoint(margin, 35), QPoint(right, panelBottom)));
}

QImage HeaderIcon(int which) {
    QImage img(16, 16, QImage::Format_ARGB32_Premultiplied);
    img.fill(Qt::transparent);
    QPainter p(&img);
    p.setPen(QPen(Qt::white, 1));
    if (which == 0) {  // a sheet with an arrow leaving it
        p.drawRect(2, 2, 9, 12);
        p.drawLine(6, 8, 14, 8);
        p.drawLine(11, 5, 14, 8);
        p.drawLine(11, 11, 14, 8);
    } else if (which == 1) {  // a printer
        p.drawRect(4, 1, 8, 5);
        p.drawRect(1, 6, 14, 6);
        p.fillRect(QRect(4, 10, 9, 5), Qt::white);
    } else if (which == 2) {  // a terminal with its prompt
        p.drawRect(1, 2, 13, 11);
        p.drawLine(4, 5, 6, 7);
        p.drawLine(6, 7, 4, 9);
        p.drawLine(8, 10, 11, 10);
    } else {  // a globe
        p.setRenderHint(QPainter::Antialiasing, true);
        p.drawEllipse(1, 1, 13, 13);
        p.drawEllipse(4, 1, 7, 13);
        p.drawLine(1, 8, 14, 8);
        p.drawLine(7, 1, 7, 14);
    }
    return img;
}

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
                p.drawText(QRectF(t.x - 14, t.y - 7, 28, 14), Qt::AlignCenter,
                           QString::number(level));
            }
        }
        // The rim over the sweep, from the 0 mark to the 100 mark.
        p.setPen(QPen(ToQColor(look::kPanelFrame), 2));
        const PieAngles sweep = PieSector(outer, 100);
        p.drawArc(QRectF(outer.left, outer.top, outer.Width(), outer.Height()),
                  static_cast<int>(sweep.startDeg * 16), static_cast<int>(sweep.spanDeg * 16));
        return img;
    }();
    return image;
}

QFont HeaderFont(bool bold, bool underline) {
    return DesignFont(QStringLiteral("Tahoma"), 13, bold ? 700 : 400, false, underline);
}

void ShowWriteFailure(QWidget* parent, const QString& path, const QString& why) {
    QMessageBox::warning(
        parent, QStringLiteral("Tarvell"),
        QStringLiteral("The file %1 could not be written (%2); nothing was exported.")
            .arg(path, why));
}

QString AskExportPath(QWidget* parent) {
    QFileDialog dialog(parent, QStringLiteral("Export"));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    const QString csv = QStringLiteral("CSV (Comma delimited) (*.csv)");
    const QString txt = QStringLiteral("Text (Tab delimited) (*.txt)");
    dialog.setNameFilters({csv, txt});
    dialog.setDefaultSuffix(QStringLiteral("csv"));
    QObject::connect(
        &dialog, &QFileDialog::filterSelected, &dialog, [&dialog, txt](const QString& filter) {
            dialog.setDefaultSuffix(filter == txt ? QStringLiteral("txt") : QStringLiteral("csv"));
        });
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
    return dialog.selectedFiles().front();
}

}  // namespace tarvell
