// The Qt side of a long list kept by key (core/look/KeyedRows.h): a table model over the core's
// rows that announces each step of a plan as Qt expects it (rows removed, texts changed, rows
// inserted, a sort as a layout change), so selection, current row and scroll position stay on
// their rows. It holds no text: a screen's model (EventListModel, AlertListModel) converts a
// cell when a view asks for it. `List` is the core's list class (EventList, AlertList): Count,
// Header, Cell, the plan's steps and SortRows. GUI thread only.
#pragma once

#include <QAbstractTableModel>
#include <algorithm>
#include <vector>

#include "viewer/widgets/TextConv.h"

namespace tarvell {

template <class List>
class KeyedRowsModel : public QAbstractTableModel {
public:
    explicit KeyedRowsModel(QObject* parent = nullptr) : QAbstractTableModel(parent) {}

    const List& Rows() const { return list_; }
    List& Rows() { return list_; }

    int rowCount(const QModelIndex& parent = QModelIndex()) const override {
        return parent.isValid() ? 0 : list_.Count();
    }
    int columnCount(const QModelIndex& parent = QModelIndex()) const override {
        return parent.isValid() ? 0 : List::kColumns;
    }
    QVariant headerData(int section, Qt::Orientation o, int role) const override {
        if (o != Qt::Horizontal || section < 0 || section >= List::kColumns) return {};
        if (role == Qt::DisplayRole) return FromUtf8(list_.Header(section));
        if (role == Qt::TextAlignmentRole)
            return QVariant::fromValue(Qt::Alignment(Qt::AlignLeft | Qt::AlignVCenter));
        return {};
    }
    // The text a row shows in `column` (as a view reads it); empty outside the list.
    QString ItemText(int row, int column) const { return FromStored(list_.Cell(row, column)); }

    // Brings the rows to `plan` (made by the list from its current rows).
    void Apply(typename List::Plan& plan) {
        if (list_.Count() == 0 && !plan.next.empty()) {
            // An empty list is filled in one reset, the fast way to fill a long list.
            beginResetModel();
            list_.Commit(plan);
            list_.ShowNew();
            endResetModel();
            return;
        }
        Unshow(plan.removed);
        const std::vector<int> changed = list_.Commit(plan);
        for (std::size_t i = 0; i < changed.size();) {
            std::size_t j = i + 1;
            while (j < changed.size() && changed[j] == changed[j - 1] + 1) ++j;
            emit dataChanged(index(changed[i], 0), index(changed[j - 1], List::kColumns - 1));
            i = j;
        }
        const int first = list_.Count();
        const int added = static_cast<int>(list_.Entries().size()) - first;
        if (added > 0) {
            beginInsertRows(QModelIndex(), first, first + added - 1);
            list_.ShowNew();
            endInsertRows();
        }
    }
    // Removes the rows at the given indexes outside a plan (any order; repeats and rows outside
    // the list are ignored); the rows that stay keep their order, selection and current row.
    // `oneByOne`: every row is announced as a removal of its own, however many go.
    void RemoveRows(std::vector<int> rows, bool oneByOne = false) {
        std::sort(rows.begin(), rows.end());
        rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
        rows.erase(std::remove_if(rows.begin(), rows.end(),
                                  [this](int r) { return !list_.Valid(r); }),
                   rows.end());
        if (rows.empty()) return;
        Unshow(rows, oneByOne);
        list_.DropUnshown();
    }
    void Clear() {
        beginResetModel();
        list_.Clear();
        endResetModel();
    }
    // Orders the rows by `column`; false when nothing moved.
    bool Sort(int column, bool ascending) {
        if (list_.Count() < 2) return false;
        emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
        const std::vector<int> newRowOf = list_.SortRows(column, ascending);
        if (!newRowOf.empty()) MovePersistent(newRowOf);
        emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
        return !newRowOf.empty();
    }

private:
    // `rows` ascending: a few leave one by one from the bottom, so every view sees a plain
    // removal; a long list of scattered rows goes in one layout change.
    void Unshow(const std::vector<int>& rows, bool oneByOne = false) {
        constexpr std::size_t kRemovalsOneByOne = 16;
        if (rows.empty()) return;
        if (oneByOne || rows.size() <= kRemovalsOneByOne) {
            for (auto it = rows.rbegin(); it != rows.rend(); ++it) {
                beginRemoveRows(QModelIndex(), *it, *it);
                list_.Unshow(*it);
                endRemoveRows();
            }
            return;
        }
        emit layoutAboutToBeChanged();
        MovePersistent(list_.Unshow(rows));
        emit layoutChanged();
    }
    void MovePersistent(const std::vector<int>& newRowOf) {
        const QModelIndexList from = persistentIndexList();
        QModelIndexList to;
        to.reserve(from.size());
        for (const QModelIndex& i : from) {
            const int row = newRowOf[static_cast<std::size_t>(i.row())];
            to.push_back(row < 0 ? QModelIndex() : index(row, i.column()));
        }
        changePersistentIndexList(from, to);
    }

    List list_;
};

}  // namespace tarvell
