#include "viewer/widgets/Pickers.h"

#include <QFileDialog>
#include <QFileInfo>

namespace tarvell {

namespace {
class QtFolderPicker : public FolderPicker {
public:
    std::optional<QString> PickFolder(QWidget* parent, const QString& title) override {
        const QString folder =
            QFileDialog::getExistingDirectory(parent, title, QString(), QFileDialog::ShowDirsOnly);
        if (folder.isEmpty() || !QFileInfo(folder).isDir()) return std::nullopt;
        return folder;
    }
};

class QtFilePicker : public FilePicker {
public:
    std::optional<QString> PickFile(QWidget* parent, const QString& filter) override {
        const QString file = QFileDialog::getOpenFileName(parent, QString(), QString(), filter);
        if (file.isEmpty() || !QFileInfo(file).isFile()) return std::nullopt;
        return file;
    }
};
}  // namespace

FolderPicker& DesktopFolderPicker() {
    static QtFolderPicker picker;
    return picker;
}

FilePicker& DesktopFilePicker() {
    static QtFilePicker picker;
    return picker;
}

}  // namespace tarvell
