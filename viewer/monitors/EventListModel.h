// The table model of an event monitor list: the core's EventList as Qt reads it. A cell is
// converted when a view asks for it; the small image, the bold mark of an unread row (which a
// view may set, kBoldRole) and the row's index as its item data answer the list control's roles.
// GUI thread only.
#pragma once

#include <string>

#include "viewer/core/monitors/EventList.h"
#include "viewer/widgets/KeyedRowsModel.h"

namespace tarvell {

class CPaintListCtrl;

class EventListModel : public KeyedRowsModel<EventList> {
public:
    using KeyedRowsModel::KeyedRowsModel;

    QVariant data(const QModelIndex& index, int role) const override;
    // Accepts kBoldRole only (a bool for the index's row).
    bool setData(const QModelIndex& index, const QVariant& value, int role) override;

    bool ItemBold(int row) const { return Rows().Valid(row) && Rows().At(row).unread; }
    // False (nothing changed) for a row outside the list.
    bool SetItemBold(int row, bool bold);
    int Image(int row) const { return Rows().Valid(row) ? Rows().At(row).image : -1; }
    // What an action wrote before the next pass reads it: the row's image (a note stored or
    // cleared) and its unblock request (the status waits for activation).
    void SetImage(int row, int image);
    void SetUnblockWaiting(int row);
    // The row of an event key, -1 when the list has none.
    int FindKey(const std::string& key) const { return Rows().RowOfKey(key); }
    // Rows removed outside a pass (an action's own removal): each is announced on its own, so
    // the screen's count label follows every one; the next pass plans again, and brings back a
    // row whose event the hub still lists.
    void RemoveRows(std::vector<int> rows) {
        KeyedRowsModel::RemoveRows(std::move(rows), true);
        Rows().Replan();
    }
    // Sorts by the shared column unless the rows are in that order already.
    void SortBy(int column, bool ascending) {
        if (!Rows().InOrder(column, ascending)) Sort(column, ascending);
    }
};

// The model of a monitor list; null for a list of another kind.
EventListModel* EventRows(const CPaintListCtrl& list);

}  // namespace tarvell
