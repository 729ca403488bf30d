// Choosing a folder or a file: the desktop's dialogs in the program, scripted answers in tests.
// nullopt when the user cancels. GUI thread only.
#pragma once

#include <QString>
#include <optional>

class QWidget;

namespace tarvell {

class FolderPicker {
public:
    virtual ~FolderPicker() = default;
    // A folder of the file system (not a virtual location).
    virtual std::optional<QString> PickFolder(QWidget* parent, const QString& title) = 0;
};

class FilePicker {
public:
    virtual ~FilePicker() = default;
    // An existing file matching `filter` ("Sounds (*.wav)").
    virtual std::optional<QString> PickFile(QWidget* parent, const QString& filter) = 0;
};

// The desktop's dialogs.
FolderPicker& DesktopFolderPicker();
FilePicker& DesktopFilePicker();

}  // namespace tarvell
