#include "viewer/protection/CProtectionDetectFlags.h"

#include <QCheckBox>
#include <QLabel>
#include <QVBoxLayout>

#include "viewer/protection/CProtectionListWnd.h"
#include "viewer/protection/DetectionPageKit.h"
#include "viewer/protection/ProtectionPages.h"
#include "viewer/widgets/LinkLabel.h"
#include "viewer/widgets/TextConv.h"

namespace tarvell {

using namespace detection;

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
            SelectDevices(this, list_, state_[i].devices);
            SetModified();
        });
    }
    layout->addStretch(1);
    connect(master_, &QCheckBox::toggled, this, [this](bool on) {
        for (auto& s : state_) s.on = false;
        UntickQuietly(subs_);
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

}  // namespace tarvell
