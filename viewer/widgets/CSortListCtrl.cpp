#include "viewer/widgets/CSortListCtrl.h"

#include <QEvent>
#include <QItemSelectionModel>
#include <QTimer>
#include <algorithm>

#include "viewer/core/look/ColumnFit.h"
#include "viewer/core/look/Look.h"

namespace tarvell {

CSortListCtrl::CSortListCtrl(QWidget* parent)
    : QTreeView(parent), header_(new SortHeaderView(this)) {
    setHeader(header_);
    setRootIsDecorated(false);
    setItemsExpandable(false);
    setUniformRowHeights(true);  // a fixed row height keeps long lists fast
    setAllColumnsShowFocus(true);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setSortingEnabled(false);
    // The view's own sorting is off, which also made its header deaf to clicks: the owner sorts.
    header_->setSectionsClickable(true);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setModel(new ListRowsModel(this));
    connect(header_, &QHeaderView::sectionClicked, this, &CSortListCtrl::headerClicked);
}

void CSortListCtrl::SetSortIndicator(int column, bool ascending) {
    const bool moved = column != header_->SortColumn();
    header_->SetSortIndicator(column, ascending);
    if (moved) ScheduleFit();  // the arrow needs room in its column
}

int CSortListCtrl::InsertColumn(int column, const QString& header, int width, Qt::Alignment align) {
    ListRowsModel* rows = Rows();
    if (rows == nullptr) return -1;
    const int c = rows->InsertColumn(column, header, align);
    setColumnWidth(c, width);
    return c;
}

void CSortListCtrl::setModel(QAbstractItemModel* m) {
    if (m == model()) return;
    // The view connects itself to its new model again; the old model tells this list nothing.
    if (QAbstractItemModel* old = model()) disconnect(old, nullptr, this, nullptr);
    QTreeView::setModel(m);
    if (m == nullptr) return;
    const auto fit = [this] { ScheduleFit(); };
    connect(m, &QAbstractItemModel::modelReset, this, fit);
    connect(m, &QAbstractItemModel::rowsInserted, this, fit);
    connect(m, &QAbstractItemModel::rowsRemoved, this, fit);
    connect(m, &QAbstractItemModel::dataChanged, this, fit);
    connect(m, &QAbstractItemModel::layoutChanged, this, fit);
    connect(m, &QAbstractItemModel::columnsInserted, this, fit);
    connect(m, &QAbstractItemModel::headerDataChanged, this, fit);
}

void CSortListCtrl::SetFitColumns(bool on, std::vector<int> keep) {
    fit_ = on;
    keep_ = std::move(keep);
    ScheduleFit();
}

void CSortListCtrl::ScheduleFit() {
    if (!fit_ || fitPending_) return;
    fitPending_ = true;
    QTimer::singleShot(0, this, [this] {
        fitPending_ = false;
        FitColumns();
    });
}

bool CSortListCtrl::viewportEvent(QEvent* event) {
    if (event->type() == QEvent::Resize) ScheduleFit();
    return QTreeView::viewportEvent(event);
}

int CSortListCtrl::CellWidth(int row, int column) const {
    const QString text = model()->data(model()->index(row, column), Qt::DisplayRole).toString();
    return fontMetrics().horizontalAdvance(text) + 12;
}

void CSortListCtrl::FitColumns() {
    const QAbstractItemModel* m = model();
    if (!fit_ || m == nullptr) return;
    const int columns = m->columnCount();
    const int rows = std::min(m->rowCount(), kFitRows);
    std::vector<ColumnNeed> needs(static_cast<std::size_t>(columns));
    for (int c = 0; c < columns; ++c) {
        // The header's text with its margins; the sorted column's also has room for the arrow.
        const int head =
            header_->SectionWidthFor(c) + (c == header_->SortColumn() ? kSortArrowBox + 6 : 0);
        int cells = 0;
        for (int r = 0; r < rows; ++r) cells = std::max(cells, CellWidth(r, c));
        ColumnNeed& need = needs[static_cast<std::size_t>(c)];
        need.wanted = std::max(head, cells);
        const bool keep = std::find(keep_.begin(), keep_.end(), c) != keep_.end();
        need.floor = keep ? need.wanted : head;
    }
    const std::vector<int> widths = FitColumnWidths(needs, viewport()->width());
    for (int c = 0; c < columns; ++c)
        if (columnWidth(c) != widths[static_cast<std::size_t>(c)])
            setColumnWidth(c, widths[static_cast<std::size_t>(c)]);
}

int CSortListCtrl::SelectedRow() const {
    if (selectionModel() == nullptr) return -1;
    int best = -1;
    for (const QModelIndex& i : selectionModel()->selectedRows())
        if (best < 0 || i.row() < best) best = i.row();
    return best;
}

void CSortListCtrl::SelectRow(int row) {
    if (model() == nullptr || selectionModel() == nullptr) return;
    if (row < 0 || row >= model()->rowCount()) {
        selectionModel()->clearSelection();
        return;
    }
    const QModelIndex i = model()->index(row, 0);
    selectionModel()->setCurrentIndex(
        i, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
}

}  // namespace tarvell
