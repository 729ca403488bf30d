// A list editor whose entries are "<address>/<mask>" (the Nodes panel's Exclude IP, the SNMPv3
// Networks): two address controls, two columns. "Add" is offered while neither control is
// blank; a mask that is not a network mask (20023) or an address the list holds already (20024)
// is refused. An entry without "/" shows an empty mask and is stored back as it came. GUI thread
// only.
#pragma once

#include "viewer/settings/CListEditorPage.h"

namespace tarvell {

class CAddressListPage : public CListEditorPage {
    Q_OBJECT
public:
    CIpAddressCtrl* AddressCtrl() const { return address_; }
    CIpAddressCtrl* MaskCtrl() const { return mask_; }

protected:
    using CListEditorPage::CListEditorPage;

    // The two controls, built and placed by the page. After an add the address is cleared and
    // the mask set to `maskAfterAdd` (cleared when empty).
    void SetAddressControls(CIpAddressCtrl* address, CIpAddressCtrl* mask,
                            const QString& maskAfterAdd = QString());
    // The list of two columns of 145 pixels.
    QTreeWidget* AddressList(const QString& address, const QString& mask, QRect place);

    bool InputReady() const override;
    QTreeWidgetItem* TypedRow() override;
    void ClearInput() override;
    QTreeWidgetItem* RowOf(const std::string& entry) const override;
    std::string EntryOf(const QTreeWidgetItem& row) const override;

private:
    CIpAddressCtrl* address_ = nullptr;
    CIpAddressCtrl* mask_ = nullptr;
    QString maskAfterAdd_;
};

}  // namespace tarvell
