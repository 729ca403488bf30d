// A list header that marks the sorted column with the viewer's own arrow (core/Look.h,
// SortArrowLines), drawn at the right of that column; every other column shows none.
#pragma once

#include <QHeaderView>

namespace tarvell {

class SortHeaderView : public QHeaderView {
    Q_OBJECT
public:
    explicit SortHeaderView(QWidget* parent = nullptr);

    // `column` -1 clears the mark.
    void SetSortIndicator(int column, bool ascending);
    int SortColumn() const { return column_; }
    bool SortAscending() const { return ascending_; }
    // The width the style gives `column`'s header text with its margins (no arrow).
    int SectionWidthFor(int column) const { return sectionSizeFromContents(column).width(); }
    // Where the arrow's 16 x 16 box stands in the header, for `column`'s section at `section`.
    static QPoint ArrowOrigin(const QRect& section);

protected:
    void paintSection(QPainter* painter, const QRect& rect, int logicalIndex) const override;

private:
    int column_ = -1;
    bool ascending_ = true;
};

}  // namespace tarvell
