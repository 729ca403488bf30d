// The plain report list of the dialogs: rows from a model (ListRowsModel unless the owner sets
// its own), full-row selection, and a header that can mark the sorted column. The owner sorts
// the rows itself when a header is clicked (`headerClicked`) and then calls SetSortIndicator.
#pragma once

#include <QTreeView>

#include "viewer/widgets/ListRowsModel.h"
#include "viewer/widgets/SortHeaderView.h"

namespace tarvell {

class CSortListCtrl : public QTreeView {
    Q_OBJECT
public:
    explicit CSortListCtrl(QWidget* parent = nullptr);

    // Marks `column` as sorted (up when ascending) and every other column as unsorted.
    void SetSortIndicator(int column, bool ascending);
    int SortColumn() const { return header_->SortColumn(); }
    bool SortAscending() const { return header_->SortAscending(); }

    // The control's own rows; null once the owner has set a model of another kind.
    ListRowsModel* Rows() const { return qobject_cast<ListRowsModel*>(model()); }
    // A column with its header text and width in pixels (the list-control way of building one).
    int InsertColumn(int column, const QString& header, int width,
                     Qt::Alignment align = Qt::AlignLeft);
    // The selected row (the first, in row order), or -1.
    int SelectedRow() const;
    void SelectRow(int row);

signals:
    void headerClicked(int column);

protected:
    SortHeaderView* header_;
};

}  // namespace tarvell
