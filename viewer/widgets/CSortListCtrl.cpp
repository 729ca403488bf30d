#include "viewer/widgets/CSortListCtrl.h"

#include <QItemSelectionModel>

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
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setModel(new ListRowsModel(this));
    connect(header_, &QHeaderView::sectionClicked, this, &CSortListCtrl::headerClicked);
}

void CSortListCtrl::SetSortIndicator(int column, bool ascending) {
    header_->SetSortIndicator(column, ascending);
}

int CSortListCtrl::InsertColumn(int column, const QString& header, int width, Qt::Alignment align) {
    ListRowsModel* rows = Rows();
    if (rows == nullptr) return -1;
    const int c = rows->InsertColumn(column, header, align);
    setColumnWidth(c, width);
    return c;
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
