// The monitors' request actions: Block events and Remove selected events of the detection panel,
// the unblock dialogs of the prevention list ("Unblock Selected Events", and "Stop Prevention and
// Unblock Events" of its report panel) and "Event Information" (an event's note). Each writes
// through one settings edit; a failed edit is told (20040/20041) and leaves the rows and the
// dialog as they were. Rows are found again by their key once the action is confirmed.
// GUI thread only.
#pragma once

#include <QDialog>
#include <string>
#include <vector>

#include "viewer/core/monitors/EventRequests.h"

class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QRadioButton;

namespace tarvell {

class CEventMonitorWnd;
class CPaintListCtrl;
class CTarvellApp;
class Prompt;

// The keys (first column) of the selected rows, or of every row.
std::vector<std::string> RowKeys(const CPaintListCtrl& list, bool selectedOnly);
// The first row whose key is `key`, or -1.
int RowOfKey(const CPaintListCtrl& list, const std::string& key);

// Sets the block, remove, unblock and note hooks of the monitor window.
void InstallEventRequestHooks(CEventMonitorWnd& window);

// "Block events" (20011 without a prevention method, 20012 to confirm).
void OnBlockEvents(CTarvellApp& app, Prompt& prompt, CPaintListCtrl& list);
// "Remove selected events" (20013 to confirm).
void OnRemoveEvents(CTarvellApp& app, Prompt& prompt, CPaintListCtrl& list);

// Dialog 236; CStopPreventionDlg is dialog 252 over every row of the list.
class CUnblockEventsDlg : public QDialog {
    Q_OBJECT
public:
    CUnblockEventsDlg(CTarvellApp& app, Prompt& prompt, CPaintListCtrl& list, QWidget* parent);

    void OnOptions();
    bool OptionsShown() const;
    QRadioButton* Removal(int i) const { return removal_[i]; }
    QRadioButton* Authorization(int i) const { return authorization_[i]; }
    QPushButton* OptionsButton() const { return options_; }
    UnblockOptions Chosen() const;
    // OK: writes the requests and closes, or tells why not and stays open.
    void accept() override;

protected:
    CUnblockEventsDlg(CTarvellApp& app, Prompt& prompt, CPaintListCtrl& list, QWidget* parent,
                      bool stopPrevention);
    void paintEvent(QPaintEvent*) override;
    // Moves the three buttons to `top` and fits the height to them.
    void PlaceButtons(int top);
    enum class Unblocked { Written, WrongPassword, Failed };
    // Writes the requests for `keys` and marks their rows; otherwise tells why (the password no
    // longer matching the settings, or the edit failing) and writes nothing.
    Unblocked Unblock(const std::vector<std::string>& keys, bool stopPrevention,
                      std::optional<std::string> password);

    CTarvellApp& app_;
    Prompt& prompt_;
    CPaintListCtrl& list_;
    QLabel* question_;
    QRadioButton* removal_[2];
    QLabel* authorizationPrompt_;
    QRadioButton* authorization_[3];
    QPushButton* ok_;
    QPushButton* cancel_;
    QPushButton* options_;
};

class CStopPreventionDlg : public CUnblockEventsDlg {
    Q_OBJECT
public:
    CStopPreventionDlg(CTarvellApp& app, Prompt& prompt, CPaintListCtrl& list, QWidget* parent);

    bool PasswordMode() const { return passwordMode_; }
    QLineEdit* PasswordEdit() const { return password_; }
    void accept() override;

private:
    // Shows the password edit (true) or the question and the removal choices (false).
    void SetPasswordMode(bool on);

    QLabel* passwordPrompt_;
    QLineEdit* password_;
    bool passwordMode_ = false;
    std::string typed_;  // the password that opened the dialog, checked again at the save
};

// Dialog 218: the note of one event.
class CEventInformationDlg : public QDialog {
    Q_OBJECT
public:
    CEventInformationDlg(const std::string& key, CEventMonitorWnd& window);

    QPlainTextEdit* NoteEdit() const { return note_; }
    QString ValueText(int line) const;
    void accept() override;

protected:
    void paintEvent(QPaintEvent*) override;

private:
    std::string key_;
    CEventMonitorWnd& window_;
    QLabel* values_[4];
    QPlainTextEdit* note_;
};

}  // namespace tarvell
