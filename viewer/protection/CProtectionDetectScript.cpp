#include "viewer/protection/CProtectionDetectScript.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "viewer/protection/CProtectionListWnd.h"
#include "viewer/protection/DetectionPageKit.h"
#include "viewer/protection/ProtectionPages.h"
#include "viewer/widgets/Accessibility.h"
#include "viewer/widgets/LinkLabel.h"
#include "viewer/widgets/Pickers.h"

namespace tarvell {

using namespace detection;

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
    file_ = Named(new QLineEdit(this), QStringLiteral("Linkup script file"));
    file_->setMaxLength(1024);
    browse_ = new QPushButton(QStringLiteral("Browse..."), this);
    logon_ = new QPushButton(QStringLiteral("Logon..."), this);
    link_ = MakeLink(QStringLiteral("Select Devices..."));
    layout->addWidget(master_);
    layout->addWidget(sub_);
    auto* fileRow = new QHBoxLayout;
    fileRow->addWidget(file_, 1);
    fileRow->addWidget(browse_);
    fileRow->addWidget(logon_);
    layout->addLayout(fileRow);
    layout->addWidget(link_);
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
        if (RunLogon(this, list_, state_.logon)) SetModified();
    });
    connect(link_, &LinkLabel::activated, this, [this](CommandId) {
        SelectDevices(this, list_, state_.sub.devices);
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
    return Passes(list_, Check(state_, ServiceUserAccount(list_)));
}

bool CProtectionDetectScript::OnOK() {
    TakeFile();
    const ScriptPage page = state_;
    return SaveProtectionPage(list_, 5, [&page](CTarvellDoc& d) { Store(page, d); }) ==
           EditResult::Saved;
}

}  // namespace tarvell
