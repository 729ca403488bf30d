#include "viewer/protection/CProtectionDetectThreats.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

#include "viewer/protection/CNumberBox.h"
#include "viewer/protection/CProtectionListWnd.h"
#include "viewer/protection/DetectionPageKit.h"
#include "viewer/protection/ProtectionPages.h"
#include "viewer/widgets/Accessibility.h"
#include "viewer/widgets/LinkLabel.h"
#include "viewer/widgets/TextConv.h"

namespace tarvell {

using namespace detection;

CProtectionDetectThreats::CProtectionDetectThreats(CProtectionListWnd& list)
    : CPropertyPage(QStringLiteral("Detection Properties")), list_(list) {
    auto* layout = new QVBoxLayout(this);
    Heading(this, layout,
            "Set detection of threatened nodes properties and alerts when they are trying to "
            "access the network.");
    master_ = new QCheckBox(QStringLiteral("Enable threatened nodes detection."), this);
    layout->addWidget(master_);
    static const char* const kTexts[ThreatsPage::kThresholds + 1][2] = {
        {"Receive Rate Detection.", "Detect receive rate threshold higher than (%):"},
        {"Transmit Rate Detection.", "Detect transmit rate threshold higher than (%):"},
        {"Broadcast Rate Detection.", "Detect broadcast rate threshold higher than (p/s):"},
        {"Error Rate Detection.", "Detect error rate threshold higher than (p/s):"},
        {"Normal Rate Detection.", nullptr}};
    for (std::size_t i = 0; i < subs_.size(); ++i) {
        auto& s = subs_[i];
        s.check = new QCheckBox(QString::fromUtf8(kTexts[i][0]), this);
        layout->addWidget(s.check);
        if (kTexts[i][1]) {
            auto* row = new QHBoxLayout;
            s.label = new QLabel(QString::fromUtf8(kTexts[i][1]), this);
            s.box = Labelled(s.label, new CNumberBox(this));
            s.box->setFixedWidth(80);
            row->addWidget(s.label);
            row->addWidget(s.box);
            row->addStretch(1);
            layout->addLayout(row);
            connect(s.box, &CNumberBox::edited, this, [this] { SetModified(); });
        }
        s.link = MakeLink(QStringLiteral("Select Devices..."));
        layout->addWidget(s.link);
        const int which = static_cast<int>(i);
        connect(s.check, &QCheckBox::toggled, this, [this, which](bool on) {
            Take();
            if (which < ThreatsPage::kThresholds) SetThreshold(state_, which, on);
            else state_.normalRate.on = on;
            Show();
            Sync();
            SetModified();
        });
        connect(s.link, &LinkLabel::activated, this, [this, which](CommandId) {
            SelectDevices(this, list_, SubOf(which).devices);
            SetModified();
        });
    }
    layout->addStretch(1);
    connect(master_, &QCheckBox::toggled, this, [this](bool on) {
        SetMaster(state_, on);
        UntickQuietly(subs_);
        Show();
        Sync();
        SetModified();
    });
}

SubProtection& CProtectionDetectThreats::SubOf(int i) {
    return i < ThreatsPage::kThresholds ? state_.thresholds[static_cast<std::size_t>(i)].sub
                                        : state_.normalRate;
}

void CProtectionDetectThreats::Take() {
    for (std::size_t i = 0; i < state_.thresholds.size(); ++i)
        state_.thresholds[i].text = subs_[i].box->Text().toStdString();
}

// The boxes from the state: a threshold that is on steps within its range, one that is off not.
void CProtectionDetectThreats::Show() {
    for (std::size_t i = 0; i < state_.thresholds.size(); ++i) {
        const auto& t = state_.thresholds[i];
        const SpinRange range = t.sub.on ? ThresholdRange(static_cast<int>(i)) : SpinRange{};
        subs_[i].box->SetRange(range.low, range.high);
        subs_[i].box->SetText(QString::fromStdString(t.text));
    }
}

void CProtectionDetectThreats::OnInitDialog() {
    if (auto doc = ShownSettings(list_.Context().app)) state_ = LoadThreats(*doc);
    const QSignalBlocker block(master_);
    master_->setChecked(state_.master);
    for (std::size_t i = 0; i < subs_.size(); ++i) {
        const QSignalBlocker b(subs_[i].check);
        subs_[i].check->setChecked(SubOf(static_cast<int>(i)).on);
    }
    Show();
    Sync();
}

void CProtectionDetectThreats::Sync() {
    const bool master = master_->isChecked();
    for (std::size_t i = 0; i < subs_.size(); ++i) {
        auto& s = subs_[i];
        const bool own = SubControlsEnabled(master, SubOf(static_cast<int>(i)));
        s.check->setEnabled(master);
        if (s.label) s.label->setEnabled(own);
        if (s.box) s.box->setEnabled(own);
        s.link->setVisible(own);
    }
}

bool CProtectionDetectThreats::OnKillActive() {
    Take();
    return Passes(list_, Check(state_));
}

bool CProtectionDetectThreats::OnOK() {
    Take();
    const ThreatsPage page = state_;
    return SaveProtectionPage(list_, 3, [&page](CTarvellDoc& d) { Store(page, d); }) ==
           EditResult::Saved;
}

}  // namespace tarvell
