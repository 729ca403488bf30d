#include "viewer/widgets/ListRowsModel.h"

#include <algorithm>
#include <numeric>

namespace tarvell {

int ListRowsModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

int ListRowsModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(headers_.size());
}

QVariant ListRowsModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rowCount() || index.column() >= columnCount()) return {};
    const ListRow& r = rows_[static_cast<std::size_t>(index.row())];
    const auto col = static_cast<std::size_t>(index.column());
    switch (role) {
        case Qt::DisplayRole: return col < r.cells.size() ? r.cells[col] : QString();
        case Qt::TextAlignmentRole: return QVariant::fromValue(aligns_[col] | Qt::AlignVCenter);
        case kImageRole:
            if (col == 0) return r.image;
            return col < r.cellImages.size() ? r.cellImages[col] : -1;
        case kItemDataRole: return QVariant::fromValue(r.data);
        case kBoldRole: return r.bold;
        default: return {};
    }
}

bool ListRowsModel::setData(const QModelIndex& index, const QVariant& value, int role) {
    return role == kBoldRole && index.isValid() && SetItemBold(index.row(), value.toBool());
}

bool ListRowsModel::SetItemBold(int row, bool bold) {
    if (row < 0 || row >= rowCount()) return false;
    rows_[static_cast<std::size_t>(row)].bold = bold;
    if (columnCount() > 0)
        emit dataChanged(index(row, 0), index(row, columnCount() - 1), {kBoldRole});
    return true;
}

bool ListRowsModel::ItemBold(int row) const {
    return row >= 0 && row < rowCount() && rows_[static_cast<std::size_t>(row)].bold;
}

void ListRowsModel::SetBoldRows(const std::set<int>& rows) {
    for (std::size_t r = 0; r < rows_.size(); ++r)
        rows_[r].bold = rows.count(static_cast<int>(r)) != 0;
    if (rowCount() > 0 && columnCount() > 0)
        emit dataChanged(index(0, 0), index(rowCount() - 1, columnCount() - 1), {kBoldRole});
}

std::set<int> ListRowsModel::BoldRows() const {
    std::set<int> rows;
    for (std::size_t r = 0; r < rows_.size(); ++r)
        if (rows_[r].bold) rows.insert(static_cast<int>(r));
    return rows;
}

QVariant ListRowsModel::headerData(int section, Qt::Orientation o, int role) const {
    if (o != Qt::Horizontal || section < 0 || section >= columnCount()) return {};
    if (role == Qt::DisplayRole) return headers_[static_cast<std::size_t>(section)];
    if (role == Qt::TextAlignmentRole)
        return QVariant::fromValue(aligns_[static_cast<std::size_t>(section)] | Qt::AlignVCenter);
    return {};
}

int ListRowsModel::InsertColumn(int column, const QString& header, Qt::Alignment align) {
    column = std::clamp(column, 0, columnCount());
    beginInsertColumns(QModelIndex(), column, column);
    headers_.insert(headers_.begin() + column, header);
    aligns_.insert(aligns_.begin() + column, align);
    for (ListRow& r : rows_) {
        if (static_cast<std::size_t>(column) < r.cells.size())
            r.cells.insert(r.cells.begin() + column, QString());
        if (static_cast<std::size_t>(column) < r.cellImages.size())
            r.cellImages.insert(r.cellImages.begin() + column, -1);
    }
    endInsertColumns();
    return column;
}

int ListRowsModel::InsertItem(int row, const QString& text, int image) {
    row = std::clamp(row, 0, rowCount());
    beginInsertRows(QModelIndex(), row, row);
    ListRow r;
    r.cells.push_back(text);
    r.image = image;
    rows_.insert(rows_.begin() + row, std::move(r));
    endInsertRows();
    return row;
}

bool ListRowsModel::SetItemText(int row, int column, const QString& text) {
    if (row < 0 || row >= rowCount() || column < 0 || column >= columnCount()) return false;
    auto& cells = rows_[static_cast<std::size_t>(row)].cells;
    if (cells.size() <= static_cast<std::size_t>(column))
        cells.resize(static_cast<std::size_t>(column) + 1);
    cells[static_cast<std::size_t>(column)] = text;
    const QModelIndex i = index(row, column);
    emit dataChanged(i, i, {Qt::DisplayRole});
    return true;
}

QString ListRowsModel::ItemText(int row, int column) const {
    if (row < 0 || row >= rowCount() || column < 0) return {};
    const auto& cells = rows_[static_cast<std::size_t>(row)].cells;
    return static_cast<std::size_t>(column) < cells.size() ? cells[static_cast<std::size_t>(column)]
                                                           : QString();
}

bool ListRowsModel::SetItemImage(int row, int column, int image) {
    if (row < 0 || row >= rowCount() || column < 0 || column >= columnCount()) return false;
    ListRow& r = rows_[static_cast<std::size_t>(row)];
    if (column == 0) {
        r.image = image;
    } else {
        if (r.cellImages.size() <= static_cast<std::size_t>(column))
            r.cellImages.resize(static_cast<std::size_t>(column) + 1, -1);
        r.cellImages[static_cast<std::size_t>(column)] = image;
    }
    const QModelIndex i = index(row, column);
    emit dataChanged(i, i, {kImageRole});
    return true;
}

bool ListRowsModel::SetItemData(int row, quint64 data) {
    if (row < 0 || row >= rowCount()) return false;
    rows_[static_cast<std::size_t>(row)].data = data;
    return true;
}

quint64 ListRowsModel::ItemData(int row) const {
    return row < 0 || row >= rowCount() ? 0 : rows_[static_cast<std::size_t>(row)].data;
}

bool ListRowsModel::DeleteItem(int row) {
    if (row < 0 || row >= rowCount()) return false;
    beginRemoveRows(QModelIndex(), row, row);
    rows_.erase(rows_.begin() + row);
    endRemoveRows();
    return true;
}

void ListRowsModel::DeleteAllItems() { SetRows({}); }

const std::string& ListRowsModel::ItemKey(int row) const {
    static const std::string kNone;
    return row >= 0 && row < rowCount() ? rows_[static_cast<std::size_t>(row)].key : kNone;
}

void ListRowsModel::AppendRows(std::vector<ListRow> rows) {
    if (rows.empty()) return;
    const int first = rowCount();
    beginInsertRows(QModelIndex(), first, first + static_cast<int>(rows.size()) - 1);
    rows_.reserve(rows_.size() + rows.size());
    for (ListRow& row : rows) rows_.push_back(std::move(row));
    endInsertRows();
}

void ListRowsModel::DeleteRows(std::vector<int> rows) {
    std::sort(rows.begin(), rows.end());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    rows.erase(std::remove_if(rows.begin(), rows.end(),
                              [this](int r) { return r < 0 || r >= rowCount(); }),
               rows.end());
    // A few rows: a removal each, from the bottom, so every view sees a plain removal.
    constexpr std::size_t kRemovalsOneByOne = 16;
    if (rows.size() <= kRemovalsOneByOne) {
        for (auto it = rows.rbegin(); it != rows.rend(); ++it) DeleteItem(*it);
        return;
    }
    emit layoutAboutToBeChanged();
    std::vector<int> newRowOf(rows_.size(), -1);
    std::vector<ListRow> kept;
    kept.reserve(rows_.size() - rows.size());
    std::size_t next = 0;
    for (std::size_t r = 0; r < rows_.size(); ++r) {
        if (next < rows.size() && rows[next] == static_cast<int>(r)) {
            ++next;
            continue;
        }
        newRowOf[r] = static_cast<int>(kept.size());
        kept.push_back(std::move(rows_[r]));
    }
    rows_ = std::move(kept);
    const QModelIndexList from = persistentIndexList();
    QModelIndexList to;
    to.reserve(from.size());
    for (const QModelIndex& i : from) {
        const int row = newRowOf[static_cast<std::size_t>(i.row())];
        to.push_back(row < 0 ? QModelIndex() : index(row, i.column()));
    }
    changePersistentIndexList(from, to);
    emit layoutChanged();
}

void ListRowsModel::SetRows(std::vector<ListRow> rows) {
    beginResetModel();
    rows_ = std::move(rows);
    endResetModel();
}

void ListRowsModel::SortItems(const std::function<bool(const ListRow&, const ListRow&)>& less) {
    if (rows_.size() < 2) return;
    emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    std::vector<int> order(rows_.size());
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(), [&](int a, int b) {
        return less(rows_[static_cast<std::size_t>(a)], rows_[static_cast<std::size_t>(b)]);
    });
    std::vector<ListRow> sorted;
    sorted.reserve(rows_.size());
    std::vector<int> newRowOf(rows_.size());
    for (std::size_t i = 0; i < order.size(); ++i) {
        newRowOf[static_cast<std::size_t>(order[i])] = static_cast<int>(i);
        sorted.push_back(std::move(rows_[static_cast<std::size_t>(order[i])]));
    }
    rows_ = std::move(sorted);
    const QModelIndexList from = persistentIndexList();
    QModelIndexList to;
    to.reserve(from.size());
    for (const QModelIndex& i : from)
        to.push_back(index(newRowOf[static_cast<std::size_t>(i.row())], i.column()));
    changePersistentIndexList(from, to);
    emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

int ListRowsModel::FindItem(int column, const QString& text, int start) const {
    for (int r = std::max(start + 1, 0); r < rowCount(); ++r)
        if (ItemText(r, column) == text) return r;
    return -1;
}

}  // namespace tarvell
