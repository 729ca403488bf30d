#include "viewer/settings/CListEditorPage.h"

#include <QLineEdit>
#include <QPushButton>

#include "shared/CTarvellDoc.h"
#include "viewer/core/hub/CTarvellApp.h"
#include "viewer/settings/SettingsPageKit.h"
#include "viewer/widgets/CIpAddressCtrl.h"
#include "viewer/widgets/LinkLabel.h"
#include "viewer/widgets/TextConv.h"

namespace tarvell {

CListEditorPage::CListEditorPage(const QString& caption, CTarvellApp& app, Prompt& prompt,
                                 ListField field, QWidget* parent)
    : CPropertyPage(caption, parent), app_(app), prompt_(prompt), field_(field) {}

void CListEditorPage::SetControls(QPushButton* add, QTreeWidget* list, LinkLabel* remove) {
    add_ = add;
    list_ = list;
    remove_ = remove;
    add_->setEnabled(false);
    connect(add_, &QPushButton::clicked, this, [this] { OnAdd(); });
    connect(remove_, &LinkLabel::activated, this, [this] { OnRemove(); });
}

void CListEditorPage::WatchInput(QLineEdit* edit, bool enterAdds) {
    connect(edit, &QLineEdit::textChanged, this, [this] { add_->setEnabled(InputReady()); });
    if (!enterAdds) return;
    connect(edit, &QLineEdit::returnPressed, this, [this] {
        if (add_->isEnabled()) OnAdd();
    });
}

void CListEditorPage::WatchInput(CIpAddressCtrl* address) {
    connect(address, &CIpAddressCtrl::addressChanged, this,
            [this] { add_->setEnabled(InputReady()); });
}

std::vector<std::string> CListEditorPage::ColumnTexts(int column) const {
    return ::tarvell::ColumnTexts(list_, column);
}

int CListEditorPage::SelectedRow() const {
    const QList<QTreeWidgetItem*> selected = list_->selectedItems();
    return selected.isEmpty() ? -1 : list_->indexOfTopLevelItem(selected.front());
}

void CListEditorPage::OnInitDialog() {
    ResetInput();
    list_->clear();
    Fill(app_.Document().Fields().*field_);
}

void CListEditorPage::Fill(const std::vector<std::string>& entries) {
    for (const std::string& entry : entries) list_->addTopLevelItem(RowOf(entry));
}

QTreeWidgetItem* CListEditorPage::RowOf(const std::string& entry) const {
    return new QTreeWidgetItem(QStringList{FromUtf8(entry)});
}

std::string CListEditorPage::EntryOf(const QTreeWidgetItem& row) const { return Utf8(row.text(0)); }

std::vector<std::string> CListEditorPage::Entries() const {
    std::vector<std::string> entries;
    for (int r = 0; r < list_->topLevelItemCount(); ++r)
        entries.push_back(EntryOf(*list_->topLevelItem(r)));
    return entries;
}

void CListEditorPage::OnAdd() {
    QTreeWidgetItem* row = TypedRow();
    if (!row) return;
    list_->addTopLevelItem(row);
    ClearInput();
    add_->setEnabled(false);
    SetModified();
}

void CListEditorPage::OnRemove() {
    const int row = SelectedRow();
    if (row < 0) return;
    RemoveRow(row);
    SetModified();
}

void CListEditorPage::RemoveRow(int row) { delete list_->takeTopLevelItem(row); }

bool CListEditorPage::OnOK() {
    const std::vector<std::string> entries = Entries();
    const ListField field = field_;
    return SavePage(app_, prompt_, [&](CTarvellDoc& doc) { doc.*field = entries; });
}

}  // namespace tarvell
