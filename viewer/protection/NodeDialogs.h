// The modal dialogs of the protection pages that edit accounts, device choices and node lists:
// Logon Properties, Devices List, Unauthorized List, Node Properties and Manage Nodes Count.
// Messages go through a Prompt and files are picked through a FilePicker, so tests script both.
// GUI thread only.
#pragma once

#include "viewer/widgets/Pickers.h"
#include <QDialog>

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "shared/CTarvellDoc.h"
#include "viewer/core/hub/SettingsEdit.h"
#include "viewer/core/protection/DeviceChoice.h"
#include "viewer/core/protection/NodeLists.h"
#include "viewer/core/base/Prompt.h"

class QButtonGroup;
class QCheckBox;
class QComboBox;
class QGroupBox;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QSpinBox;
class QTreeWidget;

namespace tarvell {

class CCheckListCtrl;
class CIpAddressCtrl;

using StringTable = std::map<std::string, std::string>;

// What the node list dialogs use of the viewer: copies of the device and port tables, the
// settings edit (EditSettings of the current server), messages and the file picker.
struct NodeDialogServices {
    StringTable devices, ports;
    std::function<EditResult(const std::function<void(CTarvellDoc&)>&)> editSettings;
    Prompt* prompt = nullptr;
    FilePicker* picker = nullptr;
};

class CTarvellApp;
// The services of the current server: its device and port tables as copied now, EditSettings.
NodeDialogServices NodeDialogServicesOf(CTarvellApp& app, Prompt& prompt, FilePicker& picker);

// The background of these dialogs: the viewer's vertical bands.
class CBandedDialog : public QDialog {
public:
    using QDialog::QDialog;

protected:
    void paintEvent(QPaintEvent* event) override;
};

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

class CDevicesListDlg : public CBandedDialog {
    Q_OBJECT
public:
    CDevicesListDlg(std::vector<std::string>& list, StringTable devices, Prompt& prompt,
                    QWidget* parent = nullptr);
    void accept() override;
    void SortBy(int column);
    void CheckAll(bool checked);

    QRadioButton* allRadio_ = nullptr;
    QRadioButton* specificRadio_ = nullptr;
    CCheckListCtrl* list_ = nullptr;

private:
    void Fill();
    void TakeChecks();
    std::vector<std::string>& target_;
    StringTable devices_;
    Prompt& prompt_;
    std::vector<DeviceRow> rows_;
    int sortColumn_ = -1;
    bool ascending_ = false;
};

class CNodePropertiesDlg : public CBandedDialog {
    Q_OBJECT
public:
    // An empty node adds one; a node given is edited (its address controls locked).
    CNodePropertiesDlg(NodeListEdit& edit, const std::string& node, const std::string& port,
                       const NodeDialogServices& services, QWidget* parent = nullptr);
    void accept() override;
    void ChooseDevice(const std::string& key);

    QRadioButton *macRadio_ = nullptr, *ipRadio_ = nullptr, *byNameRadio_ = nullptr,
                 *byAddressRadio_ = nullptr;
    QLineEdit* mac_ = nullptr;
    CIpAddressCtrl* ip_ = nullptr;
    QComboBox *byName_ = nullptr, *byAddress_ = nullptr;
    CCheckListCtrl* ports_ = nullptr;

private:
    void FillDevices(bool byName);
    void FillPorts();
    NodeListEdit& edit_;
    const NodeDialogServices& services_;
    std::string port_;
    std::vector<std::string> deviceKeys_;
    std::string deviceKey_;
    std::vector<long> portIndexes_;
};

// The list and its buttons, shared by the unauthorized list and nodes count dialogs.
class CNodeListDlgBase : public CBandedDialog {
    Q_OBJECT
public:
    void AddNode();
    void EditNode();
    void RemoveNodes();
    void ImportNodes();
    void BrowseFile();

    QGroupBox* group_ = nullptr;
    QTreeWidget* list_ = nullptr;
    QPushButton *add_ = nullptr, *import_ = nullptr, *edit_ = nullptr, *remove_ = nullptr,
                *browse_ = nullptr;
    QCheckBox* fileBox_ = nullptr;
    QLineEdit* file_ = nullptr;

protected:
    CNodeListDlgBase(NodeMode mode, const std::vector<std::string>& entries,
                     const std::string& file, NodeDialogServices services, QWidget* parent);
    QWidget* BuildListPart(const QString& intro, const QString& group, const QString& fileText);
    void Fill();
    // Saves through the settings edit; false (message shown) when it failed.
    bool Save(const std::function<void(CTarvellDoc&)>& apply);

    NodeDialogServices services_;
    NodeListEdit nodes_;
    std::string openedFile_;
};

class CUnauthorizedListDlg : public CNodeListDlgBase {
    Q_OBJECT
public:
    // Edits one node list of the settings with its import file (black or white list).
    CUnauthorizedListDlg(const QString& caption, const CTarvellDoc& opened,
                         std::vector<std::string> CTarvellDoc::*list,
                         std::string CTarvellDoc::*file, NodeDialogServices services,
                         QWidget* parent = nullptr);
    void accept() override;

private:
    std::vector<std::string> CTarvellDoc::*listField_;
    std::string CTarvellDoc::*fileField_;
};

class CNodesCountDlg : public CNodeListDlgBase {
    Q_OBJECT
public:
    CNodesCountDlg(int& threshold, const CTarvellDoc& opened, NodeDialogServices services,
                   QWidget* parent = nullptr);
    void accept() override;

    QSpinBox* threshold_ = nullptr;
    QCheckBox* automatic_ = nullptr;
    QRadioButton *allPorts_ = nullptr, *specificPort_ = nullptr;

private:
    void SetAutomatic(bool on);
    int& thresholdOut_;
    QButtonGroup* radios_ = nullptr;
};

}  // namespace tarvell
