// The yardstick the list benchmarks measure against: a plain QTableView over the smallest table
// model that can show the same rows (five texts a row, nothing else), refilled whole on each
// pass. A screen's pass is compared with this floor measured in the same run.
#pragma once

#include <QAbstractTableModel>
#include <QString>
#include <QTableView>
#include <array>
#include <malloc.h>
#include <string>
#include <vector>

namespace tarvell::bench {

class FloorModel : public QAbstractTableModel {
public:
    using Row = std::array<QString, 5>;
    int rowCount(const QModelIndex& parent = {}) const override {
        return parent.isValid() ? 0 : static_cast<int>(rows_.size());
    }
    int columnCount(const QModelIndex& parent = {}) const override {
        return parent.isValid() ? 0 : 5;
    }
    QVariant data(const QModelIndex& index, int role) const override {
        if (role != Qt::DisplayRole || !index.isValid()) return {};
        return rows_[static_cast<std::size_t>(index.row())]
                    [static_cast<std::size_t>(index.column())];
    }
    // One reset with every row converted from the stored texts.
    void Fill(const std::vector<std::array<std::string, 5>>& rows) {
        beginResetModel();
        rows_.clear();
        rows_.reserve(rows.size());
        for (const auto& row : rows) {
            Row r;
            for (std::size_t c = 0; c < 5; ++c) r[c] = QString::fromLatin1(row[c]);
            rows_.push_back(std::move(r));
        }
        endResetModel();
    }

private:
    std::vector<Row> rows_;
};

struct Floor {
    FloorModel model;
    QTableView view;
    Floor() {
        view.setModel(&model);
        view.resize(1200, 800);
    }
};

// Heap bytes in use (for memory per row: the difference around a fill), the blocks the allocator
// maps on their own (a long row vector) included.
inline std::size_t HeapInUse() {
    const struct mallinfo2 m = mallinfo2();
    return m.uordblks + m.hblkhd;
}

}  // namespace tarvell::bench
