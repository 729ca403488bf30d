#include "viewer/frame/CSplashDlg.h"

#include <QLabel>
#include <QPainter>

#include "viewer/core/look/Look.h"
#include "viewer/widgets/Fonts.h"
#include "viewer/widgets/Images.h"
#include "viewer/widgets/Painting.h"
#include "viewer/widgets/TextConv.h"

namespace tarvell {

CSplashDlg::CSplashDlg(std::function<void()> startReaders, int durationMs, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::FramelessWindowHint),
      startReaders_(std::move(startReaders)) {
    setObjectName(QStringLiteral("splash"));
    setModal(true);
    setCursor(Qt::WaitCursor);
    setFixedSize(360, 200);
    auto* loading = new QLabel(QStringLiteral("Loading..."), this);
    loading->setFont(DesignFont(QStringLiteral("Arial"), 16, 700));
    loading->setStyleSheet(QStringLiteral("color: rgb(66,26,66); background: transparent;"));
    loading->setGeometry(80, 120, 260, 22);
    auto* detail = new QLabel(QStringLiteral("Loading Tarvell..."), this);
    detail->setFont(DesignFont(QStringLiteral("Tahoma"), 13));
    detail->setStyleSheet(QStringLiteral("color: rgb(83,83,83); background: transparent;"));
    detail->setGeometry(80, 145, 260, 18);
    auto* icon = new QLabel(this);
    icon->setPixmap(ProgramIcon().pixmap(32, 32));
    icon->setGeometry(30, 122, 32, 32);
    timer_.setSingleShot(true);
    timer_.setInterval(durationMs);
    connect(&timer_, &QTimer::timeout, this, [this] {
        if (startReaders_) startReaders_();
        done(0);
    });
}

void CSplashDlg::showEvent(QShowEvent* e) {
    QDialog::showEvent(e);
    if (parentWidget()) {
        const QRect owner = parentWidget()->frameGeometry();
        move(owner.center() - rect().center());
    }
    timer_.start();
}

void CSplashDlg::paintEvent(QPaintEvent*) {
    QPainter p(this);
    FillPageGradient(p, rect());
    const int dpi = logicalDpiX();
    // The product's name after the maker's word where the stand-in face is wider than Tahoma.
    const QFont maker = DesignFont(QStringLiteral("Impact"), dpi * 10 / 48, 400, true, true);
    const int productLeft = LogoNextLeft(maker, QStringLiteral("Quenmark"), 30, 110);
    const struct {
        QFont font;
        QColor color;
        QPoint at;
        const char* text;
    } names[] = {
        {maker, ToQColor(look::kMakerGrey), {30, 25}, "Quenmark"},
        {DesignFont(QStringLiteral("Arial"), dpi / 3, 700),
         ToQColor(look::kProductRed),
         {productLeft, 40},
         "Tarvell"},
    };
    for (const auto& n : names) {
        p.setFont(n.font);
        const QRect box(n.at, QSize(width() - n.at.x(), n.font.pixelSize() + 10));
        p.setPen(QColor(200, 190, 210));  // the shadow first
        p.drawText(box.translated(2, 2), Qt::AlignLeft | Qt::AlignTop, QString::fromLatin1(n.text));
        p.setPen(n.color);
        p.drawText(box, Qt::AlignLeft | Qt::AlignTop, QString::fromLatin1(n.text));
    }
}

}  // namespace tarvell
