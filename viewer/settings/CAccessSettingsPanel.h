// The Access category: the HTML and SQL export switches with their option links, and the viewer
// users with their permissions, edited as a working copy that Save stores whole. A user is added
// with the "Add User" sheet (General, Permissions); an existing user's permissions are edited
// with the Permissions page alone, in a sheet captioned with the user's name. Each sheet works on
// its own copy of the users, which the panel takes only when the sheet ends with OK. GUI thread
// only.
#pragma once

#include <QCheckBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTreeWidget>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "viewer/core/settings/AccessSettings.h"
#include "viewer/core/settings/SettingsRules.h"
#include "viewer/settings/CListSettingsPanel.h"
#include "viewer/settings/SettingsSheets.h"
#include "viewer/widgets/CPropertySheet.h"
#include "viewer/widgets/ShellPage.h"

class QMenu;

namespace tarvell {

class CIpAddressCtrl;
class CSortListCtrl;
class ListRowsModel;
class Prompt;

// What the domain and computer "Browse..." offer and the user picks; nullopt when cancelled.
class HostChooser {
public:
    virtual ~HostChooser() = default;
    virtual std::optional<QString> Choose(QWidget* parent, const QString& title,
                                          const std::vector<std::string>& offered) = 0;
};
// A pick list the user may also type into, unless a test set its own (null puts it back).
HostChooser& AccessHostChooser();
void SetAccessHostChooser(HostChooser* chooser);

// "General": the new user's name, one qualifier and the description.
class CSettingsAccessUser : public CPropertyPage {
    Q_OBJECT
public:
    // `domains` and `computers` are what the two "Browse..." offer.
    CSettingsAccessUser(Prompt& prompt, ViewerUsers& users, std::vector<std::string> domains,
                        std::vector<std::string> computers, QWidget* parent = nullptr);
    bool OnKillActive() override;
    bool OnOK() override;

    UserForm Form() const;

    QLineEdit* NameEdit() const { return name_; }
    QPushButton* EveryoneButton() const { return everyone_; }
    QCheckBox* DomainBox() const { return domainBox_; }
    QLineEdit* DomainEdit() const { return domain_; }
    QPushButton* DomainBrowse() const { return domainBrowse_; }
    QCheckBox* ComputerBox() const { return computerBox_; }
    QLineEdit* ComputerEdit() const { return computer_; }
    QPushButton* ComputerBrowse() const { return computerBrowse_; }
    QCheckBox* IpBox() const { return ipBox_; }
    CIpAddressCtrl* IpEdit() const { return ip_; }
    QCheckBox* MacBox() const { return macBox_; }
    QLineEdit* MacEdit() const { return mac_; }
    QPlainTextEdit* DescriptionEdit() const { return description_; }

private:
    bool Checked();
    void OnDomain(bool on);
    void OnComputer(bool on);
    void OnIp(bool on);
    void OnMac(bool on);
    void Browse(bool domain);

    Prompt& prompt_;
    ViewerUsers& users_;
    std::vector<std::string> domains_, computers_;
    std::optional<std::size_t> added_;  // the entry an OK appended, replaced when OK runs again
    bool reacting_ = false;  // a box's handler runs: the boxes it sets are not the user's
    QLineEdit* name_;
    QPushButton* everyone_;
    QCheckBox* domainBox_;
    QLineEdit* domain_;
    QPushButton* domainBrowse_;
    QCheckBox* computerBox_;
    QLineEdit* computer_;
    QPushButton* computerBrowse_;
    QCheckBox* ipBox_;
    CIpAddressCtrl* ip_;
    QCheckBox* macBox_;
    QLineEdit* mac_;
    QPlainTextEdit* description_;
};

// "Permissions": the permission tree of one user.
class CSettingsAccessPermissions : public CPropertyPage {
    Q_OBJECT
public:
    // `identity` is the user edited; empty while adding, when `generalIdentity` gives the
    // identity the General page shows (asked again by OK, so a name changed meanwhile counts).
    CSettingsAccessPermissions(Prompt& prompt, ViewerUsers& users, std::string identity,
                               std::function<std::string()> generalIdentity = {},
                               QWidget* parent = nullptr);
    void OnInitDialog() override;
    bool OnSetActive() override;
    bool OnKillActive() override;
    bool OnOK() override;

    QTreeWidget* Tree() const { return tree_; }
    QTreeWidgetItem* Item(std::size_t index) const { return items_[index]; }
    const PermissionTree& Permissions() const { return model_; }
    LinkLabel* CheckAllLink() const { return checkAll_; }
    LinkLabel* UncheckAllLink() const { return uncheckAll_; }

private:
    std::string Identity() const;
    bool AccessGuard();
    void Show();

    Prompt& prompt_;
    ViewerUsers& users_;
    std::string identity_;
    std::function<std::string()> generalIdentity_;
    PermissionTree model_;
    bool notFound_ = false;
    QTreeWidget* tree_;
    std::vector<QTreeWidgetItem*> items_;
    LinkLabel* checkAll_;
    LinkLabel* uncheckAll_;
};

class CAccessSettingsPanel : public CListSettingsPanel, private SettingsPanel {
    Q_OBJECT
public:
    CAccessSettingsPanel(const SheetServices& services, QWidget* parent);

    void LoadPanel() override;
    const SettingsPanel* Document() const override { return this; }

    const ViewerUsers& Users() const { return users_; }
    QCheckBox* HtmlBox() const { return html_; }
    QCheckBox* SqlBox() const { return sql_; }
    LinkLabel* HtmlLink() const { return htmlLink_; }
    LinkLabel* SqlLink() const { return sqlLink_; }
    QMenu* UsersMenu() const { return menu_; }

    // The "Users" menu's items and the button, as they run (modal sheets).
    void EditPermissions();
    void DeleteSelected();
    void AddUser();

private:
    void Load(const CTarvellDoc& doc) override;
    void Store(CTarvellDoc& doc) const override;
    unsigned Check() const override;
    void Refill();
    void Seed(bool html);

    PageContext context_;
    FolderPicker& folders_;
    FilePicker& files_;
    ViewerUsers users_;
    bool loading_ = false;  // the boxes show the document: no seeding
    QCheckBox* html_;
    QCheckBox* sql_;
    LinkLabel* htmlLink_;
    LinkLabel* sqlLink_;
    ListRowsModel* rows_;
    QMenu* menu_;
};

void RegisterAccessPanel();

}  // namespace tarvell
