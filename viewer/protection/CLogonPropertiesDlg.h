// "Logon Properties": the service's own logon account or a specific one (user, domain,
// password typed twice); OK refuses what the account rules refuse, with their message. GUI thread
// only.
#pragma once

#include <functional>
#include <string>

#include "viewer/protection/CBandedDialog.h"

class QLineEdit;
class QRadioButton;

namespace tarvell {

class Prompt;

class CLogonPropertiesDlg : public CBandedDialog {
    Q_OBJECT
public:
    // serviceUserAccount answers whether the service runs under an account of its own.
    CLogonPropertiesDlg(std::string account, std::function<bool()> serviceUserAccount,
                        Prompt& prompt, QWidget* parent = nullptr);
    const std::string& Account() const { return account_; }
    void accept() override;

    QRadioButton* serviceRadio_ = nullptr;
    QRadioButton* specificRadio_ = nullptr;
    QLineEdit *user_ = nullptr, *domain_ = nullptr, *password_ = nullptr, *verify_ = nullptr;

private:
    void SetSpecific(bool specific);
    std::string account_;
    std::function<bool()> serviceUserAccount_;
    Prompt& prompt_;
};

}  // namespace tarvell
