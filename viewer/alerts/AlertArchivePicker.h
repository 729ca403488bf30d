// Where an alert archive is saved to or opened from: the file dialogs for the user, a script in
// tests. GUI thread only.
#pragma once

#include <QString>

class QWidget;

namespace tarvell {

class ArchivePicker {
public:
    virtual ~ArchivePicker() = default;
    // The chosen file, or an empty text when the user cancels.
    virtual QString SavePath(QWidget* owner) = 0;
    virtual QString OpenPath(QWidget* owner) = 0;
};

// The file dialogs, filter "Tarvell Alerts (*.log)", starting in the folder used last (the
// user's home at first). Saving adds ".log" to a name without it and asks before replacing a
// file; opening wants an existing file.
class FileDialogPicker : public ArchivePicker {
public:
    QString SavePath(QWidget* owner) override;
    QString OpenPath(QWidget* owner) override;

private:
    QString StartFolder() const;
    void Remember(const QString& path);
    QString lastFolder_;
};

}  // namespace tarvell
