// The export option sheets that the Access panel's links open: "HTML Options" (General, Pages)
// and "SQL Options" (General, Tables), and the data source dialog that the SQL General page's
// "Browse..." runs in place of a driver's own setup dialog. Each page saves its own fields in its
// OK through EditSettings. GUI thread only.
#pragma once

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <optional>
#include <vector>

#include "viewer/core/settings/ExportSettings.h"
#include "viewer/core/settings/OdbcSource.h"
#include "viewer/widgets/CPropertySheet.h"

namespace tarvell {

class CCheckListCtrl;
class CTarvellApp;
class FolderPicker;
class LinkLabel;
class Prompt;

// Chooses the driver and the database for the viewer's data source; nullopt when cancelled.
class DataSourceChooser {
public:
    virtual ~DataSourceChooser() = default;
    // `drivers`: the installed drivers, those of `kind` first.
    virtual std::optional<DataSourceRequest> Choose(QWidget* parent, DatabaseKind kind,
                                                    const std::vector<std::string>& drivers) = 0;
};
// The chooser the SQL General page uses: CDataSourceDlg unless a test set its own (null puts
// the dialog back).
DataSourceChooser& ExportDataSourceChooser();
void SetExportDataSourceChooser(DataSourceChooser* chooser);

// A driver, then a database file, or a server, port, database, user and masked password.
class CDataSourceDlg : public QDialog {
    Q_OBJECT
public:
    CDataSourceDlg(DatabaseKind kind, const std::vector<std::string>& drivers,
                   QWidget* parent = nullptr);
    DataSourceRequest Request() const;

    QComboBox* DriverBox() const { return driver_; }
    QLineEdit* FileEdit() const { return file_; }
    QLineEdit* ServerEdit() const { return server_; }
    QLineEdit* PortEdit() const { return port_; }
    QLineEdit* DatabaseEdit() const { return database_; }
    QLineEdit* UserEdit() const { return user_; }
    QLineEdit* PasswordEdit() const { return password_; }

private:
    void ShowFields();
    QComboBox* driver_;
    QLineEdit* file_;
    QLineEdit* server_;
    QLineEdit* port_;
    QLineEdit* database_;
    QLineEdit* user_;
    QLineEdit* password_;
    std::vector<QWidget*> fileRow_, serverRows_;
};

// The interval edit of four characters with its spin (1..9999).
class IntervalEdit {
public:
    IntervalEdit(QWidget* page, QRect edit, std::function<void()> changed);
    void SetMinutes(int minutes);
    int Minutes() const;
    // The label before the edit names the edit and its arrows.
    void SetLabel(QLabel* label);
    QLineEdit* Edit() const { return edit_; }
    QSpinBox* Spin() const { return spin_; }

private:
    QLineEdit* edit_;
    QSpinBox* spin_;
};

class CSettingsAccessHtml : public CPropertyPage {
    Q_OBJECT
public:
    CSettingsAccessHtml(CTarvellApp& app, Prompt& prompt, FolderPicker& folders,
                        QWidget* parent = nullptr);
    void OnInitDialog() override;
    bool OnOK() override;

    IntervalEdit& Interval() { return interval_; }
    QLineEdit* FolderEdit() const { return folder_; }
    QPushButton* BrowseButton() const { return browse_; }

private:
    CTarvellApp& app_;
    Prompt& prompt_;
    FolderPicker& folders_;
    IntervalEdit interval_;
    QLineEdit* folder_;
    QPushButton* browse_;
};

class CSettingsAccessSql : public CPropertyPage {
    Q_OBJECT
public:
    CSettingsAccessSql(CTarvellApp& app, Prompt& prompt, QWidget* parent = nullptr);
    void OnInitDialog() override;
    bool OnOK() override;

    IntervalEdit& Interval() { return interval_; }
    QRadioButton* ServerRadio() const { return serverRadio_; }
    QRadioButton* FileRadio() const { return fileRadio_; }
    QLineEdit* LocationEdit() const { return location_; }
    QPushButton* BrowseButton() const { return browse_; }
    // The location OK stores: the edit's text with a masked password put back.
    std::string Location() const;

private:
    void Browse();
    void ShowLocation(const std::string& real);

    CTarvellApp& app_;
    Prompt& prompt_;
    IntervalEdit interval_;
    QRadioButton* serverRadio_;
    QRadioButton* fileRadio_;
    QLineEdit* location_;
    QPushButton* browse_;
    std::string real_;  // the location with its password, as loaded or chosen
};

// The field page of either export: a collection drop-down, its description, the nine fields as
// check boxes, "Check all" / "Uncheck all", and on the database side "Keep unexist records".
class CExportFieldsPage : public CPropertyPage {
    Q_OBJECT
public:
    enum class Kind { Html, Sql };
    CExportFieldsPage(Kind kind, CTarvellApp& app, Prompt& prompt, QWidget* parent = nullptr);
    void OnInitDialog() override;
    bool OnOK() override;

    QComboBox* CollectionBox() const { return collection_; }
    QPlainTextEdit* DescriptionBox() const { return description_; }
    CCheckListCtrl* FieldList() const { return list_; }
    LinkLabel* CheckAllLink() const { return checkAll_; }
    LinkLabel* UncheckAllLink() const { return uncheckAll_; }
    QCheckBox* KeepBox() const { return keep_; }  // null on the HTML page
    const ExportFieldChoice& Choice() const { return choice_; }
    ExportCollection Current() const;

private:
    void FillRows();
    void ShowDescription(const char* text);
    void SetAll(bool on);

    Kind kind_;
    CTarvellApp& app_;
    Prompt& prompt_;
    QComboBox* collection_;
    QPlainTextEdit* description_;
    CCheckListCtrl* list_;
    LinkLabel* checkAll_;
    LinkLabel* uncheckAll_;
    QCheckBox* keep_ = nullptr;
    ExportFieldChoice choice_;
};

class CSettingsAccessPages : public CExportFieldsPage {
    Q_OBJECT
public:
    CSettingsAccessPages(CTarvellApp& app, Prompt& prompt, QWidget* parent = nullptr)
        : CExportFieldsPage(Kind::Html, app, prompt, parent) {}
};

class CSettingsAccessTables : public CExportFieldsPage {
    Q_OBJECT
public:
    CSettingsAccessTables(CTarvellApp& app, Prompt& prompt, QWidget* parent = nullptr)
        : CExportFieldsPage(Kind::Sql, app, prompt, parent) {}
};

// The pages of each sheet, added in tab order.
void AddHtmlOptionsPages(CPropertySheet& sheet, CTarvellApp& app, Prompt& prompt,
                         FolderPicker& folders);
void AddSqlOptionsPages(CPropertySheet& sheet, CTarvellApp& app, Prompt& prompt);

// Registers "HTML Options" and "SQL Options" with the settings sheets.
void RegisterExportSheets();

}  // namespace tarvell
