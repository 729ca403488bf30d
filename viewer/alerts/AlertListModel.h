// The table model of the alerts list: the core's AlertList as Qt reads it. A cell is converted
// when a view asks for it; the row's index is its item data. GUI thread only.
#pragma once

#include "viewer/core/alerts/AlertList.h"
#include "viewer/widgets/KeyedRowsModel.h"

namespace tarvell {

class AlertListModel : public KeyedRowsModel<AlertList> {
public:
    using KeyedRowsModel::KeyedRowsModel;
    QVariant data(const QModelIndex& index, int role) const override;
};

}  // namespace tarvell
