#include "viewer/widgets/CCheckListCtrl.h"

#include <QHeaderView>
#include <algorithm>

#include "viewer/core/look/Look.h"
#include "viewer/widgets/Fonts.h"
#include "viewer/widgets/TextConv.h"

namespace tarvell {

namespace {
constexpr int kCheckedRole = Qt::UserRole + 40;  // the box as last reported
}

CCheckListCtrl::CCheckListCtrl(QWidget* parent) : QTreeWidget(parent) {
    setFont(BodyFont(*this));
    setColumnCount(0);
    setRootIsDecorated(false);
    setItemsExpandable(false);
    setUniformRowHeights(true);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    header()->setSectionsMovable(false);
    header()->setStretchLastSection(false);
    QPalette pal = palette();
    pal.setColor(QPalette::Text, ToQColor(look::kText));
    setPalette(pal);
    connect(this, &QTreeWidget::itemChanged, this, [this](QTreeWidgetItem* item, int column) {
        if (quiet_ > 0 || column != 0) return;
        const bool checked = item->checkState(0) == Qt::Checked;
        if (item->data(0, kCheckedRole).toBool() == checked) return;  // a text change
        ++quiet_;
        item->setData(0, kCheckedRole, checked);
        --quiet_;
        emit itemToggled(indexOfTopLevelItem(item), checked);
    });
}

int CCheckListCtrl::InsertColumn(int column, const QString& header, int width) {
    const int n = columnCount();
    column = std::clamp(column, 0, n);
    QStringList labels;
    for (int c = 0; c < n; ++c) labels << headerItem()->text(c);
    labels.insert(column, header);
    std::vector<int> widths;
    for (int c = 0; c < n; ++c) widths.push_back(columnWidth(c));
    widths.insert(widths.begin() + column, width);
    setColumnCount(n + 1);
    setHeaderLabels(labels);
    for (int c = 0; c <= n; ++c) setColumnWidth(c, widths[static_cast<std::size_t>(c)]);
    return column;
}

void CCheckListCtrl::SetHeaderVisible(bool visible) { setHeaderHidden(!visible); }

QTreeWidgetItem* CCheckListCtrl::Item(int row) const {
    return row >= 0 && row < topLevelItemCount() ? topLevelItem(row) : nullptr;
}

int CCheckListCtrl::InsertItem(int row, const QString& text) {
    row = std::clamp(row, 0, topLevelItemCount());
    auto* item = new QTreeWidgetItem;
    item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable |
                   Qt::ItemNeverHasChildren);
    item->setText(0, text);
    item->setCheckState(0, Qt::Unchecked);
    item->setData(0, kCheckedRole, false);
    ++quiet_;
    insertTopLevelItem(row, item);
    --quiet_;
    return row;
}

bool CCheckListCtrl::SetItemText(int row, int column, const QString& text) {
    QTreeWidgetItem* item = Item(row);
    if (item == nullptr || column < 0 || column >= columnCount()) return false;
    ++quiet_;
    item->setText(column, text);
    --quiet_;
    return true;
}

QString CCheckListCtrl::ItemText(int row, int column) const {
    const QTreeWidgetItem* item = Item(row);
    return item != nullptr ? item->text(column) : QString();
}

bool CCheckListCtrl::DeleteItem(int row) {
    QTreeWidgetItem* item = Item(row);
    if (item == nullptr) return false;
    delete item;
    return true;
}

void CCheckListCtrl::DeleteAllItems() { clear(); }

bool CCheckListCtrl::SetCheck(int row, bool checked) {
    QTreeWidgetItem* item = Item(row);
    if (item == nullptr) return false;
    ++quiet_;
    item->setCheckState(0, checked ? Qt::Checked : Qt::Unchecked);
    item->setData(0, kCheckedRole, checked);
    --quiet_;
    return true;
}

bool CCheckListCtrl::GetCheck(int row) const {
    const QTreeWidgetItem* item = Item(row);
    return item != nullptr && item->checkState(0) == Qt::Checked;
}

int CCheckListCtrl::SelectedRow() const {
    const QList<QTreeWidgetItem*> items = selectedItems();
    return items.isEmpty() ? -1 : indexOfTopLevelItem(items.front());
}

void CCheckListCtrl::SelectRow(int row) {
    if (QTreeWidgetItem* item = Item(row)) setCurrentItem(item);
    else clearSelection();
}

}  // namespace tarvell
