#include "viewer/settings/CAddressListPage.h"

#include "viewer/core/settings/NodesSettings.h"
#include "viewer/settings/SettingsPageKit.h"
#include "viewer/widgets/CIpAddressCtrl.h"
#include "viewer/widgets/TextConv.h"

namespace tarvell {

void CAddressListPage::SetAddressControls(CIpAddressCtrl* address, CIpAddressCtrl* mask,
                                          const QString& maskAfterAdd) {
    address_ = address;
    mask_ = mask;
    maskAfterAdd_ = maskAfterAdd;
    WatchInput(address_);
    WatchInput(mask_);
}

QTreeWidget* CAddressListPage::AddressList(const QString& address, const QString& mask,
                                           QRect place) {
    return ReportList(this, {{address, 145}, {mask, 145}}, place);
}

bool CAddressListPage::InputReady() const { return !address_->IsBlank() && !mask_->IsBlank(); }

QTreeWidgetItem* CAddressListPage::TypedRow() {
    const AddressEntry entry{Utf8(address_->Text()), Utf8(mask_->Text())};
    if (!Refuse(prompt_, CheckAddressEntry(ColumnTexts(0), entry))) return nullptr;
    return new QTreeWidgetItem(QStringList{address_->Text(), mask_->Text()});
}

void CAddressListPage::ClearInput() {
    if (maskAfterAdd_.isEmpty()) mask_->ClearAddress();
    else mask_->SetText(maskAfterAdd_);
    address_->ClearAddress();
}

QTreeWidgetItem* CAddressListPage::RowOf(const std::string& entry) const {
    const AddressEntry e = SplitAddressEntry(entry);
    return new QTreeWidgetItem(QStringList{FromUtf8(e.address), FromUtf8(e.mask)});
}

std::string CAddressListPage::EntryOf(const QTreeWidgetItem& row) const {
    return JoinAddressEntry({Utf8(row.text(0)), Utf8(row.text(1))});
}

}  // namespace tarvell
