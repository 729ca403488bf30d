// The rows of a report list, as a Qt table model: the list controls (CSortListCtrl,
// CPaintListCtrl) draw from a model and never hold a widget per row, so a list of 100 000 rows
// stays fast. A screen either fills this model the way a list control is filled (columns, items,
// texts, images, item data) or gives the control a model of its own that answers the same roles.
// GUI thread only.
#pragma once

#include <QAbstractTableModel>
#include <QString>
#include <functional>
#include <set>
#include <string>
#include <vector>

namespace tarvell {

// The roles the list controls read besides Qt::DisplayRole (the cell text).
enum ListRole : int {
    kImageRole = Qt::UserRole + 1,  // int: the row's small image (column 0) or the cell's image
                                    // (other columns); -1 for none
    kItemDataRole,                  // quint64: the row's item data
    kBoldRole,                      // bool: the row is drawn bold (same answer in every column)
};

struct ListRow {
    std::vector<QString> cells;   // one text per column; missing cells read empty
    int image = -1;               // small image, drawn in the first column
    std::vector<int> cellImages;  // per column; missing entries read -1
    quint64 data = 0;             // the owner's item data
    bool bold = false;            // drawn bold; travels with the row through sorts
    std::string key;              // the owner's key of the row's item; empty when unused
};

class ListRowsModel : public QAbstractTableModel {
    Q_OBJECT
public:
    explicit ListRowsModel(QObject* parent = nullptr) : QAbstractTableModel(parent) {}

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation o, int role) const override;
    // Accepts kBoldRole only (a bool for the index's row).
    bool setData(const QModelIndex& index, const QVariant& value, int role) override;

    // Columns: inserted at `column` (clamped to the end); returns the index used.
    int InsertColumn(int column, const QString& header, Qt::Alignment align = Qt::AlignLeft);
    // Items: a new row at `row` (clamped to the end) with its first text; returns the index used.
    int InsertItem(int row, const QString& text, int image = -1);
    // False (nothing changed) for a row or column outside the list.
    bool SetItemText(int row, int column, const QString& text);
    QString ItemText(int row, int column) const;
    bool SetItemImage(int row, int column, int image);
    bool SetItemData(int row, quint64 data);
    quint64 ItemData(int row) const;
    // The bold mark of a row: false (nothing changed) for a row outside the list.
    bool SetItemBold(int row, bool bold);
    bool ItemBold(int row) const;
    // Marks exactly the rows in `rows` bold (rows outside the list are ignored), in one change.
    void SetBoldRows(const std::set<int>& rows);
    std::set<int> BoldRows() const;
    bool DeleteItem(int row);
    void DeleteAllItems();
    // Replaces every row at once (one reset, the fast way to fill a long list).
    void SetRows(std::vector<ListRow> rows);
    const ListRow& Row(int row) const { return rows_.at(static_cast<std::size_t>(row)); }
    // The key a row was given (ListRow::key); empty outside the list.
    const std::string& ItemKey(int row) const;
    // Adds rows after the last one, in one insertion.
    void AppendRows(std::vector<ListRow> rows);
    // Removes the rows at the given indexes (any order; repeats and rows outside the list are
    // ignored). The rows that stay keep their order, selection and current row; a long list of
    // scattered rows goes in one layout change instead of one removal per row.
    void DeleteRows(std::vector<int> rows);

    // Orders the rows by `less` (stable: equal rows keep their order). Selection and current
    // row follow their rows.
    void SortItems(const std::function<bool(const ListRow&, const ListRow&)>& less);
    // The first row after `start` (-1: from the top) whose text in `column` equals `text`; -1
    // when there is none.
    int FindItem(int column, const QString& text, int start = -1) const;

private:
    std::vector<QString> headers_;
    std::vector<Qt::Alignment> aligns_;
    std::vector<ListRow> rows_;
};

}  // namespace tarvell
