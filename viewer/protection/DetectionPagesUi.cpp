#include "viewer/protection/DetectionPagesUi.h"

#include <QVBoxLayout>

#include "viewer/core/protection/ProtectionRows.h"
#include "viewer/core/shell/CommandIds.h"
#include "viewer/core/shell/Prompt.h"
#include "viewer/protection/CProtectionListWnd.h"
#include "viewer/protection/NodeDialogs.h"
#include "viewer/protection/ProtectionPages.h"
#include "viewer/widgets/LinkLabel.h"
#include "viewer/widgets/Pickers.h"

namespace tarvell {
namespace {

SelectDevicesHook& DevicesHook() {
    static SelectDevicesHook hook;
    return hook;
}

}  // namespace

void SetSelectDevicesHook(SelectDevicesHook hook) { DevicesHook() = std::move(hook); }

CProtectionDetectFlags::CProtectionDetectFlags(CProtectionListWnd& list, int row,
                                               const char* heading, const char* master,
                                               const std::array<SubText, 4>& texts)
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
                const PageContext& context = list_.Context();
                CDevicesListDlg dialog(
                    state_[i].devices,
                    NodeDialogServicesOf(context.app, context.prompt, DesktopFilePicker()).devices,
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
    return SaveProtectionPage(list_, row_, [this, master, &subs](CTarvellDoc& d) {
               Store(master, subs, d);
           }) == EditResult::Saved;
}

CProtectionDetectNew::CProtectionDetectNew(CProtectionListWnd& list)
    : CProtectionDetectFlags(
          list, 1,
          "Set detection of new nodes properties and alerts when they are trying to access the "
          "network.",
          "Enable new nodes detection.",
          {{{"New MAC Detection.", "Discover new mac addresses and alerts on network access."},
            {"New IP Detection.", "Discover new ip addresses and alerts on network access."},
            {"New Name Detection.", "Discover new computer names and alerts on network access."},
            {"New Users Detection.", "Discover new user names and alerts on network access."}}}) {}

void CProtectionDetectNew::Load(const CTarvellDoc& doc, bool& master,
                                std::array<SubProtection, 4>& subs) {
    const auto page = LoadNewNodes(doc);
    master = page.master;
    subs = page.subs;
}

void CProtectionDetectNew::Store(bool master, const std::array<SubProtection, 4>& subs,
                                 CTarvellDoc& doc) {
    NewNodesPage page;
    page.master = master;
    page.subs = subs;
    tarvell::Store(page, doc);
}

CProtectionDetectChanges::CProtectionDetectChanges(CProtectionListWnd& list)
    : CProtectionDetectFlags(list, 2,
                             "Set detection of changed nodes properties and alerts when they are "
                             "trying to access the network.",
                             "Enable changed nodes detection.",
                             {{{"Changed IP Detection.",
                                "Discover changed ip addresses and alerts on network access."},
                               {"Changed Name Detection.",
                                "Discover changed computer names and alerts on network access."},
                               {"Changed User Detection.",
                                "Discover changed user names and alerts on network access."},
                               {"Changed Port Detection.",
                                "Discover changed port location and alerts on network access."}}}) {
}

void CProtectionDetectChanges::Load(const CTarvellDoc& doc, bool& master,
                                    std::array<SubProtection, 4>& subs) {
    const auto page = LoadChangedNodes(doc);
    master = page.master;
    subs = page.subs;
}

void CProtectionDetectChanges::Store(bool master, const std::array<SubProtection, 4>& subs,
                                     CTarvellDoc& doc) {
    ChangedNodesPage page;
    page.master = master;
    page.subs = subs;
    tarvell::Store(page, doc);
}

CProtectionDetectScript::CProtectionDetectScript(CProtectionListWnd& list)
    : CPropertyPage(QStringLiteral("Detection Properties")), list_(list) {
    auto* layout = new QVBoxLayout(this);
    auto* head = new QLabel(
        QStringLiteral("Set detection of linkup script and alerts when the script failed running "
                       "on specific computer."),
        this);
    head->setWordWrap(true);
    layout->addWidget(head);
    master_ = new QCheckBox(QStringLiteral("Enable linkup script detection."), this);
    sub_ = new QCheckBox(
        QStringLiteral(
            "Enable linkup script file that will be used when computer network link is "
            "activated.\n\nSelect the script file (Computer name will be sent as argument):"),
        this);
    file_ = new QLineEdit(this);
    file_->setMaxLength(1024);
    browse_ = new QPushButton(QStringLiteral("Browse..."), this);
    logon_ = new QPushButton(QStringLiteral("Logon..."), this);
    link_ = MakeLink(QStringLiteral("Select Devices..."));
    for (QWidget* w : std::initializer_list<QWidget*>{master_, sub_, file_, browse_, logon_, link_})
        layout->addWidget(w);
    layout->addStretch(1);
    connect(master_, &QCheckBox::toggled, this, [this](bool on) {
        TakeFile();
        SetMaster(state_, on);
        const QSignalBlocker block(sub_);
        sub_->setChecked(false);
        file_->clear();
        Sync();
        SetModified();
    });
    connect(sub_, &QCheckBox::toggled, this, [this](bool on) {
        state_.sub.on = on;
        if (!on) file_->clear();
        Sync();
        if (on) file_->setFocus();
        SetModified();
    });
    connect(file_, &QLineEdit::textEdited, this, [this] { SetModified(); });
    connect(browse_, &QPushButton::clicked, this, [this] {
        const auto chosen = DesktopFilePicker().PickFile(this, QStringLiteral("Scripts (*)"));
        if (chosen) file_->setText(*chosen);
        SetModified();
    });
    connect(logon_, &QPushButton::clicked, this, [this] {
        const PageContext& context = list_.Context();
        auto userAccount = [&context] {
            return context.serviceUserAccount && context.serviceUserAccount() == 1;
        };
        CLogonPropertiesDlg dialog(state_.logon, userAccount, context.prompt, this);
        if (dialog.exec() == QDialog::Accepted) {
            state_.logon = dialog.Account();
            SetModified();
        }
    });
    connect(link_, &LinkLabel::activated, this, [this](CommandId) {
        if (DevicesHook()) {
            DevicesHook()(this, state_.sub.devices);
        } else {
            const PageContext& context = list_.Context();
            CDevicesListDlg dialog(
                state_.sub.devices,
                NodeDialogServicesOf(context.app, context.prompt, DesktopFilePicker()).devices,
                context.prompt, this);
            dialog.exec();
        }
        SetModified();
    });
}

void CProtectionDetectScript::OnInitDialog() {
    if (auto doc = ShownSettings(list_.Context().app)) state_ = LoadScript(*doc);
    const QSignalBlocker b1(master_), b2(sub_);
    master_->setChecked(state_.master);
    sub_->setChecked(state_.sub.on);
    file_->setText(QString::fromStdString(state_.file));
    Sync();
}

void CProtectionDetectScript::TakeFile() { state_.file = file_->text().toStdString(); }

void CProtectionDetectScript::Sync() {
    const bool master = master_->isChecked();
    const bool own = SubControlsEnabled(master, state_.sub);
    sub_->setEnabled(master);
    file_->setEnabled(own);
    browse_->setEnabled(own);
    logon_->setEnabled(own);
    link_->setVisible(own);
}

bool CProtectionDetectScript::OnKillActive() {
    TakeFile();
    const PageContext& context = list_.Context();
    const bool userAccount = context.serviceUserAccount && context.serviceUserAccount() == 1;
    if (const int message = Check(state_, userAccount)) {
        context.prompt.AskString(static_cast<unsigned>(message), PromptButtons::Ok,
                                 PromptIcon::Information);
        return false;
    }
    return true;
}

bool CProtectionDetectScript::OnOK() {
    TakeFile();
    const ScriptPage page = state_;
    return SaveProtectionPage(list_, 5, [&page](CTarvellDoc& d) { Store(page, d); }) ==
           EditResult::Saved;
}

void RegisterDetectionPages() {
    SetProtectionPage(cmd::kIntrusionDetection, 5, [](CProtectionListWnd& list) -> CPropertyPage* {
        return new CProtectionDetectScript(list);
    });
    SetProtectionPage(cmd::kIntrusionDetection, 1, [](CProtectionListWnd& list) -> CPropertyPage* {
        return new CProtectionDetectNew(list);
    });
    SetProtectionPage(cmd::kIntrusionDetection, 2, [](CProtectionListWnd& list) -> CPropertyPage* {
        return new CProtectionDetectChanges(list);
    });
}

}  // namespace tarvell
