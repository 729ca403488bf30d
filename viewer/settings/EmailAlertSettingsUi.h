// The "Email Options" sheet that the Alerts panel's e-mail link opens: Account, Recipients,
// E-mail and Reports, and the "Available Properties" dialog that puts a $-variable into a text
// field (the Command Properties dialog uses it too). Each page saves its own fields in its OK
// through EditSettings. GUI thread only.
#pragma once

#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QRadioButton>
#include <QSlider>
#include <array>
#include <functional>
#include <optional>
#include <string>

#include "viewer/core/settings/EmailAlertSettings.h"
#include "viewer/widgets/CPropertySheet.h"

namespace tarvell {

class CCheckListCtrl;
class CTarvellApp;
class LinkLabel;
class Prompt;
class ServiceControl;

// Ten radio buttons, the first checked; Variable() is the checked one's variable.
class CAvailablePropertiesDlg : public QDialog {
    Q_OBJECT
public:
    explicit CAvailablePropertiesDlg(QWidget* parent = nullptr);
    std::string Variable() const;
    QRadioButton* Radio(std::size_t index) const { return radios_[index]; }

private:
    std::array<QRadioButton*, kAlertVariableCount> radios_{};
};

// Runs the dialog and puts the chosen variable over the edit's selection (at the caret when
// nothing is selected); false when cancelled. Tests give a chooser of their own (null puts the
// dialog back); it returns the variable or nullopt.
using VariableChooser = std::function<std::optional<std::string>(QWidget* parent)>;
void SetVariableChooser(VariableChooser chooser);
bool InsertAlertVariable(QLineEdit* edit);
bool InsertAlertVariable(QPlainTextEdit* edit);

class CSettingsAlertsAccount : public CPropertyPage {
    Q_OBJECT
public:
    CSettingsAlertsAccount(CTarvellApp& app, Prompt& prompt, QWidget* parent = nullptr);
    void OnInitDialog() override;
    bool OnOK() override;
    AccountFields Fields() const;

    QLineEdit* ServerEdit() const { return server_; }
    QLineEdit* PortEdit() const { return port_; }
    QLineEdit* SenderEdit() const { return sender_; }
    QLineEdit* UserEdit() const { return user_; }
    QLineEdit* PasswordEdit() const { return password_; }
    QComboBox* SecurityBox() const { return security_; }
    QSlider* TimeoutSlider() const { return timeout_; }
    QLabel* TimeoutLabel() const { return minutes_; }

private:
    CTarvellApp& app_;
    Prompt& prompt_;
    QLineEdit* server_;
    QLineEdit* port_;
    QLineEdit* sender_;
    QLineEdit* user_;
    QLineEdit* password_;
    QComboBox* security_;
    QSlider* timeout_;
    QLabel* minutes_;
};

class CSettingsAlertsEmail : public CPropertyPage {
    Q_OBJECT
public:
    CSettingsAlertsEmail(CTarvellApp& app, Prompt& prompt, QWidget* parent = nullptr);
    void OnInitDialog() override;
    bool OnOK() override;
    MessageFields Fields() const;

    QCheckBox* SubjectBox() const { return subjectBox_; }
    QCheckBox* BodyBox() const { return bodyBox_; }
    QLineEdit* SubjectEdit() const { return subject_; }
    QPlainTextEdit* BodyEdit() const { return body_; }
    LinkLabel* SubjectLink() const { return subjectLink_; }
    LinkLabel* BodyLink() const { return bodyLink_; }
    LinkLabel* DefaultLink() const { return default_; }

private:
    void Show(const MessageFields& fields);
    void Follow();

    CTarvellApp& app_;
    Prompt& prompt_;
    QCheckBox* subjectBox_;
    QCheckBox* bodyBox_;
    QLineEdit* subject_;
    QPlainTextEdit* body_;
    LinkLabel* subjectLink_;
    LinkLabel* bodyLink_;
    LinkLabel* default_;
};

class CSettingsAlertsReports : public CPropertyPage {
    Q_OBJECT
public:
    CSettingsAlertsReports(CTarvellApp& app, Prompt& prompt, QWidget* parent = nullptr);
    void OnInitDialog() override;
    bool OnOK() override;
    ReportChoice Choice() const;

    QCheckBox* DailyBox() const { return daily_; }
    QCheckBox* WeeklyBox() const { return weekly_; }
    CCheckListCtrl* RowList() const { return list_; }
    LinkLabel* CheckAllLink() const { return checkAll_; }
    LinkLabel* UncheckAllLink() const { return uncheckAll_; }

private:
    void SetAll(bool on);

    CTarvellApp& app_;
    Prompt& prompt_;
    QCheckBox* daily_;
    QCheckBox* weekly_;
    CCheckListCtrl* list_;
    LinkLabel* checkAll_;
    LinkLabel* uncheckAll_;
};

// The pages in tab order: Account, Recipients, E-mail, Reports. `service` null: the
// Recipients page's Test reports a failure.
void AddEmailOptionsPages(CPropertySheet& sheet, CTarvellApp& app, Prompt& prompt,
                          ServiceControl* service = nullptr);

// Registers "Email Options" and "Run Commands Options" with the settings sheets.
void RegisterAlertChannelSheets();

}  // namespace tarvell
