// The "Run Commands Options" sheet that the Alerts panel's Run-Command link opens, and the
// "Command Properties" dialog that the Commands page runs on add and on a double click: the
// program with "Browse...", its parameters with "Select properties", and an optional account
// with a masked password. GUI thread only.
#pragma once

#include <QDialog>
#include <QLineEdit>
#include <QPushButton>
#include <optional>
#include <string>

#include "viewer/core/settings/RunCommands.h"
#include "viewer/settings/AlertTargetsUi.h"

namespace tarvell {

class CPropertySheet;
class CTarvellApp;
class FilePicker;
class LinkLabel;
class Prompt;
class ServiceControl;

class CCommandPropertiesDlg : public QDialog {
    Q_OBJECT
public:
    // `current`: the name's properties string, when it has one.
    CCommandPropertiesDlg(const std::string& name, const std::optional<std::string>& current,
                          Prompt& prompt, FilePicker& files, QWidget* parent = nullptr);
    CommandProperties Properties() const;
    // The properties string to store; meaningful after OK.
    std::string PropertiesText() const { return PropertiesString(Properties()); }

    QLineEdit* CommandEdit() const { return command_; }
    QPushButton* BrowseButton() const { return browse_; }
    LinkLabel* ParametersLink() const { return select_; }
    QLineEdit* ParametersEdit() const { return parameters_; }
    QLineEdit* UserEdit() const { return user_; }
    QLineEdit* DomainEdit() const { return domain_; }
    QLineEdit* PasswordEdit() const { return password_; }
    QPushButton* OkButton() const { return ok_; }

public slots:
    // OK: an empty command or a separator in a field is refused with a message and the dialog
    // stays open.
    void accept() override;

private:
    Prompt& prompt_;
    FilePicker& files_;
    QLineEdit* command_;
    QPushButton* browse_;
    LinkLabel* select_;
    QLineEdit* parameters_;
    QLineEdit* user_;
    QLineEdit* domain_;
    QLineEdit* password_;
    QPushButton* ok_;
};

// The Commands page (control code 145): the target family's list of command names, each with
// its properties kept beside it. "Add Command" runs the properties dialog for the typed name and
// adds the row only after its OK; a double click edits the row's properties; Set Filters and
// Test work as on the other target pages.
class CSettingsAlertsRun : public CTargetPage {
    Q_OBJECT
public:
    CSettingsAlertsRun(CTarvellApp& app, Prompt& prompt, ServiceControl* service, FilePicker& files,
                       QWidget* parent = nullptr);
    const RunCommandList& Commands() const { return commands_; }

protected:
    std::optional<std::string> TargetToAdd(const std::string& typed) override;
    void Forget(const std::string& target) override;
    void RowDoubleClicked() override;
    std::vector<std::string> Entries() const override;
    void Load(const std::vector<std::string>& entries) override;

private:
    FilePicker& files_;
    RunCommandList commands_;  // the properties by name, in the rows' order
};

// The dialog for `name`: its properties string after OK, nullopt after Cancel. This is the
// `dialog` of RunCommandList::Add.
std::optional<std::string> RunCommandPropertiesDialog(QWidget* parent, const std::string& name,
                                                      const std::optional<std::string>& current,
                                                      Prompt& prompt, FilePicker& files);
// A double click on `row`: after OK the list holds the new properties; true then.
bool EditCommandProperties(QWidget* parent, RunCommandList& list, int row, Prompt& prompt,
                           FilePicker& files);

// The pages in tab order.
void AddRunCommandsOptionsPages(CPropertySheet& sheet, CTarvellApp& app, Prompt& prompt,
                                FilePicker& files, ServiceControl* service = nullptr);

}  // namespace tarvell
