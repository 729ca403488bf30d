// The base of the protection pages' modal dialogs: the viewer's vertical bands behind them, and
// the pieces they share (OK and Cancel, an information message, text across the boundary).
// GUI thread only.
#pragma once

#include <QDialog>
#include <string>

class QDialogButtonBox;

namespace tarvell {

class Prompt;

class CBandedDialog : public QDialog {
public:
    using QDialog::QDialog;

protected:
    void paintEvent(QPaintEvent* event) override;

    static QString Q(const std::string& s) { return QString::fromStdString(s); }
    static std::string S(const QString& s) { return s.toStdString(); }
    // An information box with text `id`; nothing without a prompt.
    static void Tell(Prompt* prompt, unsigned id);
    // OK and Cancel, wired to accept and reject.
    QDialogButtonBox* OkCancel();
};

}  // namespace tarvell
