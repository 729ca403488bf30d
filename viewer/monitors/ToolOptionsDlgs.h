// The options dialogs of the event details dialog's node tools: "Ping" (size and timeout),
// "Snmp" (community and timeout) and "Wmi" (account name and password). Each is modal over the
// details dialog, has the dialogs' banded look with its header in the purple band, opens with
// its initial texts (nothing is remembered between runs) and, at OK, keeps the texts of its two
// edits as its results. Digits-only edits take nothing else and at most nine digits; what the
// numbers mean and their bounds are the tools' business (nodetools::ParseBounded). GUI thread only.
#pragma once

#include <QDialog>
#include <QString>

#include "viewer/core/monitors/NodeTools.h"

class QLineEdit;
class QPushButton;

namespace tarvell {

class CToolOptionsDlg : public QDialog {
    Q_OBJECT
public:
    // The texts kept at OK; empty before.
    QString First() const { return first_; }
    QString Second() const { return second_; }
    QLineEdit* FirstEdit() const { return edits_[0]; }
    QLineEdit* SecondEdit() const { return edits_[1]; }
    QPushButton* OkButton() const { return ok_; }
    QPushButton* CancelButton() const { return cancel_; }

public slots:
    void accept() override;  // OnOK: keeps both texts, closes with Accepted

protected:
    CToolOptionsDlg(const nodetools::ToolOptionsForm& form, QWidget* parent);
    void paintEvent(QPaintEvent*) override;

private:
    QLineEdit* edits_[2] = {};
    QPushButton* ok_ = nullptr;
    QPushButton* cancel_ = nullptr;
    QString first_, second_;
};

class CPingOptionsDlg : public CToolOptionsDlg {
    Q_OBJECT
public:
    explicit CPingOptionsDlg(QWidget* parent = nullptr);
};

class CSnmpOptionsDlg : public CToolOptionsDlg {
    Q_OBJECT
public:
    explicit CSnmpOptionsDlg(QWidget* parent = nullptr);
};

class CWmiOptionsDlg : public CToolOptionsDlg {
    Q_OBJECT
public:
    explicit CWmiOptionsDlg(QWidget* parent = nullptr);
};

// The options dialog of tool tab 1 (ping), 2 (SNMP) or 3 (WMI); the caller owns it.
CToolOptionsDlg* CreateToolOptionsDlg(int tab, QWidget* parent);
// Runs that dialog modally; false on Cancel, else its two texts.
bool AskToolOptions(QWidget* parent, int tab, QString& first, QString& second);

}  // namespace tarvell
