#include "viewer/protection/CProtectionDetectWmi.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QDialog>
#include <QHBoxLayout>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "viewer/protection/CProtectionListWnd.h"
#include "viewer/protection/CWmiPropertiesDlg.h"
#include "viewer/protection/DetectionPageKit.h"
#include "viewer/protection/ProtectionPages.h"
#include "viewer/widgets/Accessibility.h"
#include "viewer/widgets/CSortListCtrl.h"
#include "viewer/widgets/LinkLabel.h"
#include "viewer/widgets/TextConv.h"

namespace tarvell {

using namespace detection;

namespace {
// One direction for every opening of the page: the first click sorts ascending.
bool& WmiSortAscending() {
    static bool ascending = false;
    return ascending;
}
}  // namespace

CProtectionDetectWmi::CProtectionDetectWmi(CProtectionListWnd& list)
    : CPropertyPage(QStringLiteral("Detection Properties")), list_(list) {
    auto* layout = new QVBoxLayout(this);
    Heading(this, layout,
            "Set detection of linkup wmi properties and alerts on a property that is different "
            "from the specified conditions.");
    master_ = new QCheckBox(QStringLiteral("Enable linkup wmi detection."), this);
    layout->addWidget(master_);
    modes_[0] = new QRadioButton(
        QStringLiteral("Detect all windows nodes with WMI support or without it."), this);
    modes_[1] =
        new QRadioButton(QStringLiteral("Detect only windows nodes with WMI support."), this);
    auto* group = new QButtonGroup(this);
    for (int i = 0; i < 2; ++i) {
        group->addButton(modes_[i]);
        layout->addWidget(modes_[i]);
        connect(modes_[i], &QRadioButton::toggled, this, [this, i](bool on) {
            if (!on) return;
            state_.nodesMode = i;
            SetModified();
        });
    }
    rows_ = Named(new CSortListCtrl(this), QStringLiteral("WMI conditions"));
    rows_->InsertColumn(0, QStringLiteral("Property"), 170);
    rows_->InsertColumn(1, QStringLiteral("Value"), 170);
    layout->addWidget(rows_, 1);
    auto* buttons = new QHBoxLayout;
    add_ = new QPushButton(QStringLiteral("Add..."), this);
    remove_ = new QPushButton(QStringLiteral("Remove"), this);
    logon_ = new QPushButton(QStringLiteral("Logon..."), this);
    link_ = MakeLink(QStringLiteral("Select Devices..."));
    buttons->addWidget(link_);
    buttons->addStretch(1);
    for (QPushButton* b : {add_, remove_, logon_}) buttons->addWidget(b);
    layout->addLayout(buttons);

    connect(master_, &QCheckBox::toggled, this, [this](bool on) {
        SetMaster(state_, on);
        Fill();
        Sync();
        SetModified();
    });
    connect(rows_->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            [this] { Sync(); });
    connect(rows_, &QAbstractItemView::doubleClicked, this, [this] {
        if (rows_->SelectedRow() >= 0) RunProperties(rows_->SelectedRow());
    });
    connect(rows_, &CSortListCtrl::headerClicked, this, &CProtectionDetectWmi::SortBy);
    connect(add_, &QPushButton::clicked, this, [this] { RunProperties(-1); });
    connect(remove_, &QPushButton::clicked, this, [this] {
        const int at = rows_->SelectedRow();
        if (at < 0 || at >= static_cast<int>(state_.rows.size())) return;
        state_.rows.erase(state_.rows.begin() + at);
        Fill();
        Sync();
        SetModified();
    });
    connect(logon_, &QPushButton::clicked, this, [this] {
        if (RunLogon(this, list_, state_.logon)) SetModified();
    });
    connect(link_, &LinkLabel::activated, this, [this](CommandId) {
        SelectDevices(this, list_, state_.devices);
        SetModified();
    });
}

void CProtectionDetectWmi::OnInitDialog() {
    if (auto doc = ShownSettings(list_.Context().app)) state_ = LoadWmi(*doc);
    const QSignalBlocker block(master_);
    master_->setChecked(state_.master);
    Fill();
    Sync();
}

// The list and the radios from the state.
void CProtectionDetectWmi::Fill() {
    std::vector<ListRow> rows;
    for (const WmiConditionRow& r : state_.rows) {
        ListRow row;
        row.cells = {FromUtf8(WmiRowProperty(r)), FromStored(WmiRowValue(r))};
        rows.push_back(std::move(row));
    }
    rows_->Rows()->SetRows(std::move(rows));
    auto* group = modes_[0]->group();
    const QSignalBlocker b0(modes_[0]), b1(modes_[1]);
    group->setExclusive(false);
    for (int i = 0; i < 2; ++i) modes_[i]->setChecked(state_.nodesMode == i);
    group->setExclusive(true);
}

void CProtectionDetectWmi::Sync() {
    const bool on = master_->isChecked();
    for (QWidget* w : std::initializer_list<QWidget*>{add_, logon_, modes_[0], modes_[1]})
        w->setEnabled(on);
    remove_->setEnabled(on && rows_->SelectedRow() >= 0);
    link_->setVisible(on);
}

void CProtectionDetectWmi::RunProperties(int index) {
    CWmiPropertiesDlg dialog(state_.rows, index, list_.Context().prompt, this);
    if (dialog.exec() != QDialog::Accepted) return;
    Fill();
    Sync();
    SetModified();
}

void CProtectionDetectWmi::SortBy(int column) {
    bool& ascending = WmiSortAscending();
    ascending = !ascending;
    SortWmiRows(state_.rows, column, ascending);
    Fill();
    rows_->SetSortIndicator(column, ascending);
}

bool CProtectionDetectWmi::OnKillActive() {
    return Passes(list_, Check(state_, ServiceUserAccount(list_)));
}

bool CProtectionDetectWmi::OnOK() {
    const WmiPage page = state_;
    return SaveProtectionPage(list_, 4, [&page](CTarvellDoc& d) { Store(page, d); }) ==
           EditResult::Saved;
}

}  // namespace tarvell
