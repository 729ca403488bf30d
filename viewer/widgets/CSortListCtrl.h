// The plain report list of the dialogs: rows from a model (ListRowsModel unless the owner sets
// its own), full-row selection (one row unless the owner allows more), and a header that can
// mark the sorted column. The owner sorts the rows itself when a header is clicked
// (`headerClicked`) and then calls SetSortIndicator. With column fitting on, the columns follow
// their contents and the list's width (core/look/ColumnFit.h) after every change.
#pragma once

#include <QTreeView>
#include <vector>

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

    // Column fitting: on, the columns are fitted once the rows, their texts or the list's width
    // changed (coalesced to one fit per turn of the event loop). The columns in `keep` never cut
    // their text while the list is wide enough for them and the other headers.
    void SetFitColumns(bool on, std::vector<int> keep = {});
    bool FitsColumns() const { return fit_; }
    // Fits the columns now: the first kFitRows rows are measured.
    void FitColumns();
    static constexpr int kFitRows = 500;

    void setModel(QAbstractItemModel* model) override;

signals:
    void headerClicked(int column);

protected:
    // The pixels the text of a cell needs, with its margins.
    virtual int CellWidth(int row, int column) const;
    bool viewportEvent(QEvent* event) override;

    SortHeaderView* header_;

private:
    void ScheduleFit();

    bool fit_ = false;
    bool fitPending_ = false;
    std::vector<int> keep_;
};

}  // namespace tarvell
