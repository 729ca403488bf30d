#include "viewer/protection/DetectionPagesUi.h"

#include <QVBoxLayout>

#include "viewer/core/protection/ProtectionRows.h"
#include "viewer/core/shell/CommandIds.h"
#include "viewer/protection/CProtectionListWnd.h"
#include "viewer/protection/NodeDialogs.h"
#include "viewer/protection/ProtectionPages.h"
#include "viewer/widgets/LinkLabel.h"

namespace tarvell {
namespace {

SelectDevicesHook& DevicesHook() {
    static SelectDevicesHook hook;
    return hook;
}

}  // namespace

void SetSelectDevicesHook(SelectDevicesHook hook) { DevicesHook() = std::move(hook); }

CProtectionDetectFlags::CProtectionDetectFlags(CProtectionListWnd& list, int row, const char* heading,
                                               const char* master, const std::array<SubText, 4>& texts)
    : CPropertyPage(QStringLiteral("Detection Properties")), list_(list), row_(row) {
    auto* layout = new QVBoxLayout(this);
    auto* head = new QLabel(QString::fromUtf8(heading), this);
    head->setWordWrap(true);
    layout->addWidget(head);
    master_ = new QCheckBox(QString::fromUtf8(master), this);
    layout->addWidget(master_);
    for (std::size_t i = 0; i < subs_.size(); ++i) {
        auto& s = subs_[i];
        s.check = new QCheckBox(QString::fromUtf8(texts[i].first), this);
        s.second = new QLabel(QString::fromUtf8(texts[i].second), this);
        s.link = MakeLink(QStringLiteral("Select Devices..."));
        layout->addWidget(s.check);
        layout->addWidget(s.second);
        layout->addWidget(s.link);
        connect(s.check, &QCheckBox::toggled, this, [this, i](bool on) {
            state_[i].on = on;
            Sync();
            SetModified();
        });
        connect(s.link, &LinkLabel::activated, this, [this, i](CommandId) {
            if (DevicesHook()) {
                DevicesHook()(this, state_[i].devices);
            } else {
                static QtFilePicker picker;
                const PageContext& context = list_.Context();
                CDevicesListDlg dialog(state_[i].devices,
                                       NodeDialogServicesOf(context.app, context.prompt, picker).devices,
                                       context.prompt, this);
                dialog.exec();
            }
            SetModified();
        });
    }
    layout->addStretch(1);
    connect(master_, &QCheckBox::toggled, this, [this](bool on) {
        for (auto& s : state_) s.on = false;
        for (auto& s : subs_) {
            const QSignalBlocker block(s.check);
            s.check->setChecked(false);
        }
        (void)on;
        Sync();
        SetModified();
    });
}

void CProtectionDetectFlags::OnInitDialog() {
    bool master = false;
    if (auto doc = ShownSettings(list_.Context().app)) Load(*doc, master, state_);
    const QSignalBlocker block(master_);
    master_->setChecked(master);
    for (std::size_t i = 0; i < subs_.size(); ++i) {
        const QSignalBlocker b(subs_[i].check);
        subs_[i].check->setChecked(state_[i].on);
    }
    Sync();
}

void CProtectionDetectFlags::Sync() {
    const bool master = master_->isChecked();
    for (std::size_t i = 0; i < subs_.size(); ++i) {
        subs_[i].check->setEnabled(master);
        subs_[i].second->setEnabled(master);
        subs_[i].link->setVisible(SubControlsEnabled(master, state_[i]));
    }
}

bool CProtectionDetectFlags::OnOK() {
    const bool master = master_->isChecked();
    const auto subs = state_;
    return SaveProtectionPage(list_, row_, [this, master, &subs](CTarvellDoc& d) { Store(master, subs, d); }) ==
           EditResult::Saved;
}

CProtectionDetectNew::CProtectionDetectNew(CProtectionListWnd& list)
    : CProtectionDetectFlags(
          list, 1,
          "Set detection of new nodes properties and alerts when they are trying to access the network.",
          "Enable new nodes detection.",
          {{{"New MAC Detection.", "Discover new mac addresses and alerts on network access."},
            {"New IP Detection.", "Discover new ip addresses and alerts on network access."},
            {"New Name Detection.", "Discover new computer names and alerts on network access."},
            {"New Users Detection.", "Discover new user names and alerts on network access."}}}) {}

void CProtectionDetectNew::Load(const CTarvellDoc& doc, bool& master, std::array<SubProtection, 4>& subs) {
    const auto page = LoadNewNodes(doc);
    master = page.master;
    subs = page.subs;
}

void CProtectionDetectNew::Store(bool master, const std::array<SubProtection, 4>& subs, CTarvellDoc& doc) {
    NewNodesPage page;
    page.master = master;
    page.subs = subs;
    tarvell::Store(page, doc);
}

CProtectionDetectChanges::CProtectionDetectChanges(CProtectionListWnd& list)
    : CProtectionDetectFlags(
          list, 2,
          "Set detection of changed nodes properties and alerts when they are trying to access the network.",
          "Enable changed nodes detection.",
          {{{"Changed IP Detection.", "Discover changed ip addresses and alerts on network access."},
            {"Changed Name Detection.", "Discover changed computer names and alerts on network access."},
            {"Changed User Detection.", "Discover changed user names and alerts on network access."},
            {"Changed Port Detection.", "Discover changed port location and alerts on network access."}}}) {}

void CProtectionDetectChanges::Load(const CTarvellDoc& doc, bool& master, std::array<SubProtection, 4>& subs) {
    const auto page = LoadChangedNodes(doc);
    master = page.master;
    subs = page.subs;
}

void CProtectionDetectChanges::Store(bool master, const std::array<SubProtection, 4>& subs, CTarvellDoc& doc) {
    ChangedNodesPage page;
    page.master = master;
    page.subs = subs;
    tarvell::Store(page, doc);
}

void RegisterDetectionPages() {
    SetProtectionPage(cmd::kIntrusionDetection, 1,
                      [](CProtectionListWnd& list) -> CPropertyPage* { return new CProtectionDetectNew(list); });
    SetProtectionPage(cmd::kIntrusionDetection, 2,
                      [](CProtectionListWnd& list) -> CPropertyPage* { return new CProtectionDetectChanges(list); });
}

}  // namespace tarvell
