#include "viewer/protection/CProtectionDetectUnauthorized.h"

#include <QCheckBox>
#include <QDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "viewer/protection/CNodesCountDlg.h"
#include "viewer/protection/CProtectionListWnd.h"
#include "viewer/protection/CUnauthorizedListDlg.h"
#include "viewer/protection/DetectionPageKit.h"
#include "viewer/protection/NodeDialogServices.h"
#include "viewer/protection/ProtectionPages.h"
#include "viewer/widgets/LinkLabel.h"
#include "viewer/widgets/Pickers.h"
#include "viewer/widgets/TextConv.h"

namespace tarvell {

using namespace detection;

CProtectionDetectUnauthorized::CProtectionDetectUnauthorized(CProtectionListWnd& list)
    : CPropertyPage(QStringLiteral("Detection Properties")), list_(list) {
    auto* layout = new QVBoxLayout(this);
    Heading(this, layout,
            "Set detection of unauthorized nodes addresses and alerts when they are trying to "
            "access the network.");
    master_ = new QCheckBox(QStringLiteral("Enable unauthorized nodes detection."), this);
    layout->addWidget(master_);
    static const char* const kTexts[UnauthorizedPage::kSubs][3] = {
        {"Enable Nodes Black List.", "Discover unsafe nodes and alerts on network access.",
         "Manage Black List..."},
        {"Enable Nodes White List.", "Discover safe nodes and don't alerts on network access.",
         "Manage White List..."},
        {"Enable Nodes/Port count.", "Discover nodes/port count and alerts on maximum threshold.",
         "Manage Nodes Count..."}};
    for (std::size_t i = 0; i < subs_.size(); ++i) {
        auto& s = subs_[i];
        s.check = new QCheckBox(QString::fromUtf8(kTexts[i][0]), this);
        s.second = new QLabel(QString::fromUtf8(kTexts[i][1]), this);
        s.second->setWordWrap(true);
        s.manage = new QPushButton(QString::fromUtf8(kTexts[i][2]), this);
        s.link = MakeLink(QStringLiteral("Select Devices..."));
        auto* row = new QHBoxLayout;
        auto* captions = new QVBoxLayout;
        captions->addWidget(s.check);
        captions->addWidget(s.second);
        captions->addWidget(s.link);
        row->addLayout(captions, 1);
        row->addWidget(s.manage, 0, Qt::AlignTop);
        layout->addLayout(row);
        connect(s.check, &QCheckBox::toggled, this, [this, i](bool on) {
            state_.subs[i].on = on;
            Sync();
            SetModified();
        });
        connect(s.link, &LinkLabel::activated, this, [this, i](CommandId) {
            if (SelectDevices(this, list_, state_.subs[i].devices)) SetModified();
        });
        connect(s.manage, &QPushButton::clicked, this,
                [this, i] { RunManage(static_cast<int>(i)); });
    }
    layout->addStretch(1);
    connect(master_, &QCheckBox::toggled, this, [this](bool on) {
        SetMaster(state_, on);
        UntickQuietly(subs_);
        Sync();
        SetModified();
    });
}

void CProtectionDetectUnauthorized::OnInitDialog() {
    if (auto doc = ShownSettings(list_.Context().app)) state_ = LoadUnauthorized(*doc);
    const QSignalBlocker block(master_);
    master_->setChecked(state_.master);
    for (std::size_t i = 0; i < subs_.size(); ++i) {
        const QSignalBlocker b(subs_[i].check);
        subs_[i].check->setChecked(state_.subs[i].on);
    }
    Sync();
}

void CProtectionDetectUnauthorized::Sync() {
    const bool master = master_->isChecked();
    for (std::size_t i = 0; i < subs_.size(); ++i) {
        const bool own = SubControlsEnabled(master, state_.subs[i]);
        subs_[i].check->setEnabled(master);
        subs_[i].second->setEnabled(master);
        subs_[i].manage->setEnabled(own);
        subs_[i].link->setVisible(own);
    }
}

// The manage dialogs save the lists themselves when accepted, whatever the sheet does after.
void CProtectionDetectUnauthorized::RunManage(int i) {
    const PageContext& context = list_.Context();
    const auto opened = ShownSettings(context.app);
    if (!opened) return;
    NodeDialogServices services =
        NodeDialogServicesOf(context.app, context.prompt, DesktopFilePicker());
    int result = QDialog::Rejected;
    if (i == UnauthorizedPage::NodesCount) {
        CNodesCountDlg dialog(state_.threshold, *opened, std::move(services), this);
        result = dialog.exec();
    } else {
        const bool black = i == UnauthorizedPage::BlackList;
        CUnauthorizedListDlg dialog(
            Manage(i)->text(), *opened,
            black ? &CTarvellDoc::NodesBlackList : &CTarvellDoc::NodesWhiteList,
            black ? &CTarvellDoc::BlackListImportFile : &CTarvellDoc::WhiteListImportFile,
            std::move(services), this);
        result = dialog.exec();
    }
    if (result == QDialog::Accepted) SetModified();
}

bool CProtectionDetectUnauthorized::OnOK() {
    const UnauthorizedPage page = state_;
    return SaveProtectionPage(list_, 0, [&page](CTarvellDoc& d) { Store(page, d); }) ==
           EditResult::Saved;
}

}  // namespace tarvell
