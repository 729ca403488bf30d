#include "viewer/protection/CDevicesListDlg.h"

#include <QDialogButtonBox>
#include <QDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QRadioButton>
#include <QVBoxLayout>
#include <algorithm>

#include "viewer/widgets/Accessibility.h"
#include "viewer/widgets/CCheckListCtrl.h"
#include "viewer/widgets/LinkLabel.h"

namespace tarvell {

CDevicesListDlg::CDevicesListDlg(std::vector<std::string>& list, StringTable devices,
                                 Prompt& prompt, QWidget* parent)
    : CBandedDialog(parent), target_(list), devices_(std::move(devices)), prompt_(prompt) {
    setWindowTitle("Devices List");
    resize(460, 360);
    auto* layout = new QVBoxLayout(this);
    allRadio_ = new QRadioButton("All devices", this);
    specificRadio_ = new QRadioButton("Only specific devices", this);
    layout->addWidget(allRadio_);
    layout->addWidget(specificRadio_);
    list_ = Named(new CCheckListCtrl(this), QStringLiteral("Devices"));
    QPalette palette = list_->palette();
    palette.setColor(QPalette::Text, QColor(83, 83, 83));
    list_->setPalette(palette);
    list_->InsertColumn(0, "Device Name", 200);
    list_->InsertColumn(1, "Device Ip", 200);
    list_->InsertColumn(2, "Device Mac", 0);
    list_->setColumnHidden(2, true);
    list_->header()->setSectionsClickable(true);
    connect(list_->header(), &QHeaderView::sectionClicked, this, &CDevicesListDlg::SortBy);
    layout->addWidget(list_);
    auto* links = new QHBoxLayout;
    auto* checkAll = new LinkLabel("Check all", 0, this);
    auto* uncheckAll = new LinkLabel("Uncheck all", 0, this);
    for (LinkLabel* link : {checkAll, uncheckAll}) {
        link->SetColor(QColor(0, 70, 213));
        link->SetUnderlined(true);
        link->SetActive(true);
        links->addWidget(link);
    }
    links->addStretch();
    connect(checkAll, &LinkLabel::activated, this, [this] { CheckAll(true); });
    connect(uncheckAll, &LinkLabel::activated, this, [this] { CheckAll(false); });
    layout->addLayout(links);
    layout->addWidget(OkCancel());
    connect(allRadio_, &QRadioButton::toggled, this, [this](bool on) {
        if (!on) return;
        rows_.clear();
        list_->DeleteAllItems();
    });
    connect(specificRadio_, &QRadioButton::toggled, this, [this](bool on) {
        if (!on) return;
        rows_ = BuildDeviceRows(devices_, target_);
        Fill();
    });
    (target_.empty() ? allRadio_ : specificRadio_)->setChecked(true);
}

void CDevicesListDlg::Fill() {
    list_->DeleteAllItems();
    for (const DeviceRow& row : rows_) {
        const int at = list_->InsertItem(list_->ItemCount(), Q(row.name));
        list_->SetItemText(at, 1, Q(row.ip));
        list_->SetItemText(at, 2, Q(row.key));
        list_->SetCheck(at, row.checked);
    }
}

void CDevicesListDlg::TakeChecks() {
    for (int i = 0; i < list_->ItemCount() && i < static_cast<int>(rows_.size()); ++i)
        rows_[static_cast<std::size_t>(i)].checked = list_->GetCheck(i);
}

void CDevicesListDlg::CheckAll(bool checked) {
    for (int i = 0; i < list_->ItemCount(); ++i) list_->SetCheck(i, checked);
}

void CDevicesListDlg::SortBy(int column) {
    TakeChecks();
    sortColumn_ = column;
    ascending_ = !ascending_;
    const auto col = static_cast<DeviceColumn>(std::clamp(column, 0, 2));
    std::stable_sort(rows_.begin(), rows_.end(), [&](const DeviceRow& a, const DeviceRow& b) {
        return DeviceRowBefore(a, b, col, ascending_);
    });
    Fill();
    list_->header()->setSortIndicatorShown(true);
    list_->header()->setSortIndicator(column,
                                      ascending_ ? Qt::AscendingOrder : Qt::DescendingOrder);
}

void CDevicesListDlg::accept() {
    TakeChecks();
    DeviceVerdict verdict = ConfirmDevices(allRadio_->isChecked(), rows_);
    if (verdict.message) {
        Tell(&prompt_, verdict.message);
        return;
    }
    target_ = std::move(verdict.keys);
    QDialog::accept();
}

}  // namespace tarvell
