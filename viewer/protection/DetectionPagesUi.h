// The property pages of the six detection rows: a master check box and sub-protections, each with
// its caption and a "Select Devices..." link shown only while it is on; the linkup WMI page with
// its condition and value dialogs. OK stores the page through SaveProtectionPage.
#pragma once

#include <QAbstractSpinBox>
#include <QCheckBox>
#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QValidator>
#include <array>
#include <functional>
#include <string>
#include <vector>

#include "viewer/core/protection/DetectionPages.h"
#include "viewer/core/protection/WmiConditions.h"
#include "viewer/core/base/Prompt.h"
#include "viewer/widgets/CPropertySheet.h"

class QComboBox;
class QListWidget;
class QPlainTextEdit;
class QRadioButton;
class QTextEdit;

namespace tarvell {

class CProtectionListWnd;
class CSortListCtrl;

// Runs the devices list on `keys` (changed in place); true when accepted. Empty (the default):
// the Devices List dialog of the current server.
using SelectDevicesHook = std::function<bool(QWidget* parent, std::vector<std::string>& keys)>;
void SetSelectDevicesHook(SelectDevicesHook hook);

class CProtectionDetectFlags : public CPropertyPage {
    Q_OBJECT
public:
    struct SubText {
        const char* first;
        const char* second;
    };
    CProtectionDetectFlags(CProtectionListWnd& list, int row, const char* heading,
                           const char* master, const std::array<SubText, 4>& texts);

    void OnInitDialog() override;
    bool OnOK() override;

    QCheckBox* Master() const { return master_; }
    QCheckBox* Sub(int i) const { return subs_[static_cast<std::size_t>(i)].check; }
    LinkLabel* Link(int i) const { return subs_[static_cast<std::size_t>(i)].link; }

protected:
    // The page's working state in and out of a settings document.
    virtual void Load(const CTarvellDoc& doc, bool& master, std::array<SubProtection, 4>& subs) = 0;
    virtual void Store(bool master, const std::array<SubProtection, 4>& subs, CTarvellDoc& doc) = 0;

private:
    void Sync();

    struct SubControls {
        QCheckBox* check = nullptr;
        QLabel* second = nullptr;
        LinkLabel* link = nullptr;
    };
    CProtectionListWnd& list_;
    int row_;
    QCheckBox* master_;
    std::array<SubControls, 4> subs_;
    std::array<SubProtection, 4> state_;
};

class CProtectionDetectNew : public CProtectionDetectFlags {
    Q_OBJECT
public:
    explicit CProtectionDetectNew(CProtectionListWnd& list);

protected:
    void Load(const CTarvellDoc& doc, bool& master, std::array<SubProtection, 4>& subs) override;
    void Store(bool master, const std::array<SubProtection, 4>& subs, CTarvellDoc& doc) override;
};

class CProtectionDetectChanges : public CProtectionDetectFlags {
    Q_OBJECT
public:
    explicit CProtectionDetectChanges(CProtectionListWnd& list);

protected:
    void Load(const CTarvellDoc& doc, bool& master, std::array<SubProtection, 4>& subs) override;
    void Store(bool master, const std::array<SubProtection, 4>& subs, CTarvellDoc& doc) override;
};

// The Linkup Script page (row 5): one sub-protection with the file box, "Browse...", "Logon..."
// and its link. Its kill-active check tells 20021 (no file) or 20034 (no logon while the service
// runs under the system account) and keeps the sheet open.
class CProtectionDetectScript : public CPropertyPage {
    Q_OBJECT
public:
    explicit CProtectionDetectScript(CProtectionListWnd& list);

    void OnInitDialog() override;
    bool OnKillActive() override;
    bool OnOK() override;

    QCheckBox* Master() const { return master_; }
    QCheckBox* Sub() const { return sub_; }
    QLineEdit* File() const { return file_; }
    LinkLabel* Link() const { return link_; }

private:
    void Sync();
    void TakeFile();

    CProtectionListWnd& list_;
    QCheckBox* master_;
    QCheckBox* sub_;
    QLineEdit* file_;
    QPushButton* browse_;
    QPushButton* logon_;
    LinkLabel* link_;
    ScriptPage state_;
};

// The Unauthorized nodes page (row 0): black list, white list and nodes/port count, each with its
// link and its "Manage ..." button. The manage dialogs save on their own when accepted; a Devices
// List left with Cancel does not mark the page modified.
class CProtectionDetectUnauthorized : public CPropertyPage {
    Q_OBJECT
public:
    explicit CProtectionDetectUnauthorized(CProtectionListWnd& list);

    void OnInitDialog() override;
    bool OnOK() override;

    QCheckBox* Master() const { return master_; }
    QCheckBox* Sub(int i) const { return subs_[static_cast<std::size_t>(i)].check; }
    LinkLabel* Link(int i) const { return subs_[static_cast<std::size_t>(i)].link; }
    QPushButton* Manage(int i) const { return subs_[static_cast<std::size_t>(i)].manage; }

private:
    void Sync();
    void RunManage(int i);

    struct SubControls {
        QCheckBox* check = nullptr;
        QLabel* second = nullptr;
        LinkLabel* link = nullptr;
        QPushButton* manage = nullptr;
    };
    CProtectionListWnd& list_;
    QCheckBox* master_;
    std::array<SubControls, UnauthorizedPage::kSubs> subs_;
    UnauthorizedPage state_;
};

// A number box: digits only, its arrows step within a range, a typed value is kept as typed
// (the range does not clamp it) and an empty box stays empty.
class CNumberBox : public QAbstractSpinBox {
    Q_OBJECT
public:
    explicit CNumberBox(QWidget* parent = nullptr);
    void SetRange(int low, int high);
    QString Text() const;
    void SetText(const QString& text);
    void stepBy(int steps) override;

signals:
    // Typed or stepped by the user (not by SetText).
    void edited();

protected:
    QValidator::State validate(QString& input, int& pos) const override;
    StepEnabled stepEnabled() const override;

private:
    int low_ = 0, high_ = 0;
};

// The Threatened nodes page (row 3): four thresholds with their number boxes and the normal rate.
// A typed number beyond a signed 32-bit value is told with 20021 and keeps the sheet open.
class CProtectionDetectThreats : public CPropertyPage {
    Q_OBJECT
public:
    explicit CProtectionDetectThreats(CProtectionListWnd& list);

    void OnInitDialog() override;
    bool OnKillActive() override;
    bool OnOK() override;

    QCheckBox* Master() const { return master_; }
    // 0..3 the thresholds, 4 the normal rate.
    QCheckBox* Sub(int i) const { return subs_[static_cast<std::size_t>(i)].check; }
    LinkLabel* Link(int i) const { return subs_[static_cast<std::size_t>(i)].link; }
    CNumberBox* Box(int i) const { return subs_[static_cast<std::size_t>(i)].box; }

private:
    void Take();
    void Show();
    void Sync();
    SubProtection& SubOf(int i);

    struct SubControls {
        QCheckBox* check = nullptr;
        QLabel* label = nullptr;
        CNumberBox* box = nullptr;
        LinkLabel* link = nullptr;
    };
    CProtectionListWnd& list_;
    QCheckBox* master_;
    std::array<SubControls, ThreatsPage::kThresholds + 1> subs_;
    ThreatsPage state_;
};

// "WMI Value": one accepted value, added to (index -1) or replacing a row of `values`, which stays
// in ascending order. A value holding "|" or a line break is told with 20021.
class CWmiValueDlg : public QDialog {
    Q_OBJECT
public:
    CWmiValueDlg(std::vector<std::string>& values, int index, Prompt& prompt,
                 QWidget* parent = nullptr);
    void accept() override;

    QPlainTextEdit* Edit() const { return edit_; }

private:
    std::vector<std::string>& values_;
    int index_;
    Prompt& prompt_;
    QPlainTextEdit* edit_;
};

// "WMI Properties": one condition, added to (index -1) or replacing a row of `rows`. A property
// name is taken ignoring case; any other name is told with 20021 and the dialog stays open.
class CWmiPropertiesDlg : public QDialog {
    Q_OBJECT
public:
    CWmiPropertiesDlg(std::vector<WmiConditionRow>& rows, int index, Prompt& prompt,
                      QWidget* parent = nullptr);
    void accept() override;

    QComboBox* Property() const { return property_; }
    QTextEdit* Description() const { return description_; }
    QListWidget* Values() const { return list_; }
    QPushButton* AddButton() const { return add_; }
    // As "Add..." (index -1) or "Edit..." after the value dialog's OK.
    void RunValue(int index);
    const std::vector<std::string>& ValueTexts() const { return values_; }

private:
    void Fill();
    void Sync();
    void Describe();

    std::vector<WmiConditionRow>& rows_;
    int index_;
    Prompt& prompt_;
    std::vector<std::string> values_;
    QComboBox* property_;
    QTextEdit* description_;
    QListWidget* list_;
    QPushButton* add_;
    QPushButton* edit_;
    QPushButton* remove_;
};

// The linkup WMI page (row 4): the nodes mode, the conditions list, logon and devices.
class CProtectionDetectWmi : public CPropertyPage {
    Q_OBJECT
public:
    explicit CProtectionDetectWmi(CProtectionListWnd& list);

    void OnInitDialog() override;
    bool OnKillActive() override;
    bool OnOK() override;

    QCheckBox* Master() const { return master_; }
    QRadioButton* Mode(int i) const { return modes_[i]; }
    CSortListCtrl* Rows() const { return rows_; }
    QPushButton* AddButton() const { return add_; }
    QPushButton* RemoveButton() const { return remove_; }
    LinkLabel* Link() const { return link_; }
    // As "Add..." (index -1) or a double click on a row.
    void RunProperties(int index);
    void SortBy(int column);

private:
    void Fill();
    void Sync();

    CProtectionListWnd& list_;
    QCheckBox* master_;
    QRadioButton* modes_[2];
    CSortListCtrl* rows_;
    QPushButton* add_;
    QPushButton* remove_;
    QPushButton* logon_;
    LinkLabel* link_;
    WmiPage state_;
};

// Enters the pages above for detection rows 0 to 5.
void RegisterDetectionPages();

}  // namespace tarvell
