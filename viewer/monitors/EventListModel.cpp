#include "viewer/monitors/EventListModel.h"

#include "viewer/widgets/CPaintListCtrl.h"
#include "viewer/widgets/ListRowsModel.h"

namespace tarvell {

QVariant EventListModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || !Rows().Valid(index.row())) return {};
    const int row = index.row();
    switch (role) {
        case Qt::DisplayRole: return ItemText(row, index.column());
        case Qt::TextAlignmentRole:
            return QVariant::fromValue(Qt::Alignment(Qt::AlignLeft | Qt::AlignVCenter));
        case kImageRole: return index.column() == 0 ? Image(row) : -1;
        case kItemDataRole: return QVariant::fromValue(static_cast<quint64>(row));
        case kBoldRole: return ItemBold(row);
        default: return {};
    }
}

bool EventListModel::setData(const QModelIndex& index, const QVariant& value, int role) {
    return role == kBoldRole && index.isValid() && SetItemBold(index.row(), value.toBool());
}

bool EventListModel::SetItemBold(int row, bool bold) {
    if (!Rows().Valid(row)) return false;
    Rows().At(row).unread = bold;
    emit dataChanged(index(row, 0), index(row, EventList::kColumns - 1), {kBoldRole});
    return true;
}

void EventListModel::SetImage(int row, int image) {
    if (!Rows().Valid(row)) return;
    Rows().At(row).image = static_cast<std::uint8_t>(image);
    emit dataChanged(index(row, 0), index(row, 0), {kImageRole});
}

void EventListModel::SetUnblockWaiting(int row) {
    if (!Rows().Valid(row)) return;
    Rows().At(row).unblock = true;
    Rows().At(row).sortText.clear();
    emit dataChanged(index(row, 4), index(row, 4), {Qt::DisplayRole});
}

EventListModel* EventRows(const CPaintListCtrl& list) {
    return dynamic_cast<EventListModel*>(list.model());
}

}  // namespace tarvell
