#include "viewer/alerts/AlertListModel.h"

#include "viewer/widgets/ListRowsModel.h"

namespace tarvell {

QVariant AlertListModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || !Rows().Valid(index.row())) return {};
    switch (role) {
        case Qt::DisplayRole: return ItemText(index.row(), index.column());
        case Qt::TextAlignmentRole:
            return QVariant::fromValue(Qt::Alignment(Qt::AlignLeft | Qt::AlignVCenter));
        case kImageRole: return -1;
        case kItemDataRole: return QVariant::fromValue(static_cast<quint64>(index.row()));
        case kBoldRole: return false;
        default: return {};
    }
}

}  // namespace tarvell
