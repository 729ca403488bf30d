// A report list with a check box in front of each row (single selection, full-row select, text
// in the body text colour). The user toggles a row's box with a click on it or with Space on the
// current row; either way the list emits itemToggled once. SetCheck and the fill functions do not
// signal, so a page fills the list without marking itself changed. GUI thread only.
#pragma once

#include <QTreeWidget>
#include <vector>

namespace tarvell {

class CCheckListCtrl : public QTreeWidget {
    Q_OBJECT
public:
    explicit CCheckListCtrl(QWidget* parent = nullptr);

    // Columns: inserted at `column` (clamped to the end) with a width in pixels; the header row
    // shows unless SetHeaderVisible(false).
    int InsertColumn(int column, const QString& header, int width);
    void SetHeaderVisible(bool visible);

    // Rows: a new unchecked row at `row` (clamped to the end); returns the index used.
    int InsertItem(int row, const QString& text);
    int ItemCount() const { return topLevelItemCount(); }
    // False for a row or column outside the list.
    bool SetItemText(int row, int column, const QString& text);
    QString ItemText(int row, int column) const;
    bool DeleteItem(int row);
    void DeleteAllItems();

    bool SetCheck(int row, bool checked);
    bool GetCheck(int row) const;
    int SelectedRow() const;
    void SelectRow(int row);

signals:
    void itemToggled(int row, bool checked);

private:
    QTreeWidgetItem* Item(int row) const;

    int quiet_ = 0;  // above 0 while the list itself changes a box
};

}  // namespace tarvell
