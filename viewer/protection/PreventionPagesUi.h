// The property pages of the six prevention rows and the schedule dialog. Each page fills from the
// settings as shown, checks on leaving (20021, 20034, and 20035/20036 whose Yes ends the sheet
// and opens the settings window's Alerts or Snmp panel) and stores through SaveProtectionPage.
#pragma once

#include <QDialog>
#include <vector>

#include "viewer/core/protection/PreventionPages.h"
#include "viewer/widgets/CPropertySheet.h"

class QButtonGroup;
class QCheckBox;
class QComboBox;
class QDateEdit;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QSpinBox;
class QTimeEdit;

namespace tarvell {

class Prompt;
class CSortListCtrl;

class CProtectionListWnd;

// Dialog 168 "Schedule Properties": one period, daily or on a date.
class CSchedulePropertiesDlg : public QDialog {
    Q_OBJECT
public:
    // `prompt` tells why OK refuses a day.
    CSchedulePropertiesDlg(Prompt& prompt, QWidget* parent);
    // The period chosen; nothing when the typed day is neither a day text nor a date.
    std::optional<ScheduleRow> Chosen() const;
    // A day it cannot read keeps the dialog open with "Your settings are invalid..." (20021).
    void accept() override;

    QRadioButton* Daily() const { return daily_; }
    QComboBox* Days() const { return days_; }
    QDateEdit* Date() const { return date_; }
    QTimeEdit* Start() const { return start_; }
    QTimeEdit* End() const { return end_; }

private:
    Prompt& prompt_;
    QRadioButton* daily_;
    QRadioButton* specific_;
    QComboBox* days_;
    QDateEdit* date_;
    QTimeEdit* start_;
    QTimeEdit* end_;
};

// The common frame: the list it belongs to and its row, the ask-and-jump of 20035/20036.
class CPreventionPage : public CPropertyPage {
    Q_OBJECT
public:
    CPreventionPage(CProtectionListWnd& list, int row, const QString& caption);

protected:
    // Tells `message`; for 20035/20036 a Yes ends the sheet and shows that settings panel.
    void Tell(int message);
    // True for 0; otherwise tells `message` and is false (the page stays).
    bool Passes(int message);
    bool ServiceUserAccount() const;
    // The settings reloaded for a check, or null (20040 told) when they cannot be read.
    const CTarvellDoc* Reloaded();
    bool Save(const std::function<void(CTarvellDoc&)>& store);

    CProtectionListWnd& list_;
    int row_;
};

class CProtectionPreventAlerts : public CPreventionPage {
    Q_OBJECT
public:
    explicit CProtectionPreventAlerts(CProtectionListWnd& list);
    void OnInitDialog() override;
    bool OnKillActive() override;
    bool OnOK() override;

    QCheckBox* Box(int i) const { return boxes_[i]; }  // 0 master, 1..3 flags, 4 password
    QLineEdit* Password() const { return password_; }

private:
    PreventAlertsPage Taken() const;
    void Sync();
    QCheckBox* boxes_[5];
    QLineEdit* password_;
};

// Notification Message (row 1) and Network Script (row 3).
class CProtectionPreventOptions : public CPreventionPage {
    Q_OBJECT
public:
    CProtectionPreventOptions(CProtectionListWnd& list, bool scripts);
    void OnInitDialog() override;
    bool OnKillActive() override;
    bool OnOK() override;

    QCheckBox* Master() const { return master_; }
    QCheckBox* Option(int i) const { return options_[i].check; }
    QLineEdit* Text(int i) const { return options_[i].text; }

private:
    struct Controls {
        QCheckBox* check = nullptr;
        QLineEdit* text = nullptr;
        QPushButton* browse = nullptr;
        QPushButton* logon = nullptr;
    };
    TwoOptionPage Taken() const;
    void Sync();
    bool scripts_;
    QCheckBox* master_;
    Controls options_[2];
    std::string logons_[2];
};

class CProtectionPreventSnmp : public CPreventionPage {
    Q_OBJECT
public:
    explicit CProtectionPreventSnmp(CProtectionListWnd& list);
    void OnInitDialog() override;
    bool OnKillActive() override;
    bool OnOK() override;

    QCheckBox* Master() const { return master_; }
    QRadioButton* Standard() const { return standard_; }
    QRadioButton* Specific() const { return specific_; }
    QLineEdit* Edit(int i) const { return edits_[i]; }  // block query, value, unblock query, value

private:
    PreventSnmpPage Taken() const;
    void Sync();
    QCheckBox* master_;
    QRadioButton* standard_;
    QRadioButton* specific_;
    QLineEdit* edits_[4];
};

class CProtectionPreventSchedule : public CPreventionPage {
    Q_OBJECT
public:
    explicit CProtectionPreventSchedule(CProtectionListWnd& list);
    void OnInitDialog() override;
    bool OnKillActive() override;
    bool OnOK() override;

    QCheckBox* Master() const { return master_; }
    CSortListCtrl* Rows() const { return rows_; }
    QPushButton* AddButton() const { return add_; }
    // Adds a period as "Add..." does after the dialog's OK, and sorts by the date, ascending.
    void AddRow(const ScheduleRow& row);
    // A header click: `column` becomes the sort column and the one direction flag flips.
    void SortBy(int column);

private:
    void Fill();
    void Sync();
    void Sorted(int column, bool ascending);
    QCheckBox* master_;
    QCheckBox* deleteLink_;
    CSortListCtrl* rows_;
    bool ascending_ = true;  // the direction of the last sort, whichever column it was
    QPushButton* add_;
    QPushButton* remove_;
    std::vector<ScheduleRow> state_;
};

class CProtectionPreventUnblock : public CPreventionPage {
    Q_OBJECT
public:
    explicit CProtectionPreventUnblock(CProtectionListWnd& list);
    void OnInitDialog() override;
    bool OnKillActive() override;
    bool OnOK() override;

    QCheckBox* Master() const { return master_; }
    QSpinBox* Minutes() const { return minutes_; }

private:
    PreventUnblockPage Taken() const;
    void Sync();
    QCheckBox* master_;
    QSpinBox* minutes_;
    QCheckBox* system_;
    QCheckBox* manual_;
    QRadioButton* authorization_[3];
};

// Enters the pages above for prevention rows 0 to 5.
void RegisterPreventionPages();

}  // namespace tarvell
