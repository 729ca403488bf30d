// The alert channels' target pages, one family: a list of targets (e-mail recipients, SNMP
// managers, syslog listeners, commands) with an input and its add button, "Remove ...",
// "Set Filters..." with its dialog, and "Test ..." that asks the service for a test alert of the
// page's channel. Each page is a list editor (CListEditorPage) over its target list. The Commands
// page derives from CTargetPage and overrides the hooks marked below. GUI thread only.
#pragma once

#include <QComboBox>
#include <QDialog>
#include <QLineEdit>
#include <QPushButton>
#include <QTreeWidget>
#include <functional>
#include <optional>
#include <string>

#include "viewer/core/settings/AlertTargets.h"
#include "viewer/settings/CListEditorPage.h"

namespace tarvell {

class ServiceControl;  // the rest come with CListEditorPage.h

// Runs `work` on a worker thread with the wait cursor while the windows keep painting (user
// input waits); returns when it is done.
void RunOffGuiThread(const std::function<void()>& work);

// An information box with one of our own texts.
void Inform(Prompt& prompt, std::string_view utf8);

// The filters of one target, edited in place in the page's list on OK.
class CSetFiltersDlg : public QDialog {
    Q_OBJECT
public:
    CSetFiltersDlg(const std::string& target, TargetList& targets, Prompt& prompt,
                   QWidget* parent = nullptr);

    QComboBox* TypeBox() const { return type_; }
    QLineEdit* ValueEdit() const { return value_; }
    QPushButton* AddButton() const { return add_; }
    QTreeWidget* Rows() const { return rows_; }
    LinkLabel* RemoveLink() const { return remove_; }

    void AddFilter();
    void RemoveFilter();
    // Stores the rows (in order) as the target's filters and closes with OK.
    void accept() override;

private:
    void UpdateAdd();

    std::string target_;
    TargetList& targets_;
    Prompt& prompt_;
    QComboBox* type_;
    QLineEdit* value_;
    QPushButton* add_;
    QTreeWidget* rows_;
    LinkLabel* remove_;
};

class CTargetPage : public CListEditorPage {
    Q_OBJECT
public:
    // `service` null: Test reports a failure.
    CTargetPage(TargetFamily family, CTarvellApp& app, Prompt& prompt, ServiceControl* service,
                QWidget* parent = nullptr);

    void AddTarget() { OnAdd(); }
    void RemoveTarget() { OnRemove(); }
    // Runs CSetFiltersDlg for the selected row; true after OK.
    bool EditFilters();
    void OnTest();

    const TargetFamilyInfo& Family() const { return info_; }
    const TargetList& Targets() const { return targets_; }
    QLineEdit* Input() const { return edit_; }       // null on an IP page
    CIpAddressCtrl* IpInput() const { return ip_; }  // null on a text page
    QPushButton* FiltersButton() const { return filters_; }
    LinkLabel* TestLink() const { return test_; }

protected:
    // The Commands page's hooks. The target to add for the typed text (a dialog may refuse it):
    virtual std::optional<std::string> TargetToAdd(const std::string& typed) { return typed; }
    // A removed target; its filters are already forgotten.
    virtual void Forget(const std::string&) {}
    // A double click on a selected row.
    virtual void RowDoubleClicked() { EditFilters(); }
    // The stored entries of the list, in row order.
    std::vector<std::string> Entries() const override { return targets_.Entries(); }
    // Loads the list from the stored entries.
    virtual void Load(const std::vector<std::string>& entries) {
        targets_.Load(entries, info_.splitAtLast);
    }
    void ShowRows();

    bool InputReady() const override;
    QTreeWidgetItem* TypedRow() override;
    void ClearInput() override;
    void Fill(const std::vector<std::string>& entries) override;
    void RemoveRow(int row) override;

    const TargetFamilyInfo& info_;
    ServiceControl* service_;
    TargetList targets_;

private:
    QString TypedText() const;

    QLineEdit* edit_ = nullptr;
    CIpAddressCtrl* ip_ = nullptr;
    QPushButton* filters_;
    LinkLabel* test_;
};

class CSettingsAlertsRecipients : public CTargetPage {
    Q_OBJECT
public:
    CSettingsAlertsRecipients(CTarvellApp& app, Prompt& prompt, ServiceControl* service,
                              QWidget* parent = nullptr)
        : CTargetPage(TargetFamily::Recipients, app, prompt, service, parent) {}
};

class CSettingsAlertsManagers : public CTargetPage {
    Q_OBJECT
public:
    CSettingsAlertsManagers(CTarvellApp& app, Prompt& prompt, ServiceControl* service,
                            QWidget* parent = nullptr)
        : CTargetPage(TargetFamily::Managers, app, prompt, service, parent) {}
};

class CSettingsAlertsListeners : public CTargetPage {
    Q_OBJECT
public:
    CSettingsAlertsListeners(CTarvellApp& app, Prompt& prompt, ServiceControl* service,
                             QWidget* parent = nullptr)
        : CTargetPage(TargetFamily::Listeners, app, prompt, service, parent) {}
};

}  // namespace tarvell
