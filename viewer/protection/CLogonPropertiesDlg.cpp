#include "viewer/protection/CLogonPropertiesDlg.h"

#include <QDialogButtonBox>
#include <QDialog>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QVBoxLayout>

#include "viewer/core/protection/LogonText.h"
#include "viewer/widgets/Accessibility.h"

namespace tarvell {

CLogonPropertiesDlg::CLogonPropertiesDlg(std::string account,
                                         std::function<bool()> serviceUserAccount, Prompt& prompt,
                                         QWidget* parent)
    : CBandedDialog(parent),
      account_(std::move(account)),
      serviceUserAccount_(std::move(serviceUserAccount)),
      prompt_(prompt) {
    setWindowTitle("Logon Properties");
    auto* layout = new QVBoxLayout(this);
    serviceRadio_ = new QRadioButton("Use current Tarvell service logon account", this);
    specificRadio_ = new QRadioButton("Use specific logon account", this);
    layout->addWidget(serviceRadio_);
    layout->addWidget(specificRadio_);
    auto* grid = new QGridLayout;
    user_ = new QLineEdit(this);
    domain_ = new QLineEdit(this);
    password_ = new QLineEdit(this);
    verify_ = new QLineEdit(this);
    password_->setEchoMode(QLineEdit::Password);
    verify_->setEchoMode(QLineEdit::Password);
    const char* labels[] = {
        "Account Username:", "Account Domain:", "Account Password:", "Verify Password:"};
    QLineEdit* edits[] = {user_, domain_, password_, verify_};
    for (int i = 0; i < 4; ++i) {
        grid->addWidget(Buddy(new QLabel(labels[i], this), edits[i]), i, 0);
        grid->addWidget(edits[i], i, 1);
    }
    layout->addLayout(grid);
    layout->addWidget(OkCancel());
    // Each radio's value, whatever changed it (a click, a key, an assistive technology).
    connect(serviceRadio_, &QRadioButton::toggled, this, [this](bool on) {
        if (on) SetSpecific(false);
    });
    connect(specificRadio_, &QRadioButton::toggled, this, [this](bool on) {
        if (!on) return;
        SetSpecific(true);
        user_->setFocus();
    });
    if (account_.empty()) {
        serviceRadio_->setChecked(true);
        SetSpecific(false);
    } else {
        specificRadio_->setChecked(true);
        SetSpecific(true);
        const LogonParts parts = ParseLogon(account_);
        user_->setText(Q(parts.user));
        domain_->setText(Q(parts.domain));
        password_->setText(Q(parts.password));
        verify_->setText(Q(parts.password));
    }
}

void CLogonPropertiesDlg::SetSpecific(bool specific) {
    for (QLineEdit* edit : {user_, domain_, password_, verify_}) {
        edit->setEnabled(specific);
        if (!specific) edit->clear();
    }
}

void CLogonPropertiesDlg::accept() {
    LogonChoice choice{specificRadio_->isChecked(), S(user_->text()), S(domain_->text()),
                       S(password_->text()), S(verify_->text())};
    const LogonVerdict verdict =
        ConfirmLogon(choice, !choice.specific && serviceUserAccount_ && serviceUserAccount_());
    if (verdict.message) {
        Tell(&prompt_, verdict.message);
        return;
    }
    account_ = verdict.account;
    QDialog::accept();
}

}  // namespace tarvell
