#include "viewer/widgets/SortHeaderView.h"

#include <QPainter>

#include "viewer/core/look/Look.h"
#include "viewer/widgets/Painting.h"

namespace tarvell {

SortHeaderView::SortHeaderView(QWidget* parent) : QHeaderView(Qt::Horizontal, parent) {
    setSectionsClickable(true);
    setSortIndicatorShown(false);  // the style's own indicator would be a second arrow
    setHighlightSections(false);
    setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    setStretchLastSection(false);
}

void SortHeaderView::SetSortIndicator(int column, bool ascending) {
    column_ = column;
    ascending_ = ascending;
    viewport()->update();
}

QPoint SortHeaderView::ArrowOrigin(const QRect& s) {
    return QPoint(s.right() - kSortArrowBox - 3, s.top() + (s.height() - kSortArrowBox) / 2);
}

void SortHeaderView::paintSection(QPainter* painter, const QRect& rect, int logicalIndex) const {
    painter->save();
    QHeaderView::paintSection(painter, rect, logicalIndex);
    painter->restore();
    if (logicalIndex != column_ || rect.width() < kSortArrowBox + 6) return;
    DrawSortArrow(*painter, ArrowOrigin(rect), ascending_, palette().color(QPalette::Light),
                  palette().color(QPalette::Dark));
}

}  // namespace tarvell
