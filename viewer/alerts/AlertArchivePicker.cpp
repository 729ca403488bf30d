#include "viewer/alerts/AlertArchivePicker.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>

namespace tarvell {
namespace {

const QString kFilter = QStringLiteral("Tarvell Alerts (*.log)");

}  // namespace

QString FileDialogPicker::StartFolder() const {
    return !lastFolder_.isEmpty() && QDir(lastFolder_).exists() ? lastFolder_ : QDir::homePath();
}

void FileDialogPicker::Remember(const QString& path) {
    if (!path.isEmpty()) lastFolder_ = QFileInfo(path).absolutePath();
}

QString FileDialogPicker::SavePath(QWidget* owner) {
    QFileDialog dialog(owner, QString(), StartFolder(), kFilter);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setDefaultSuffix(QStringLiteral("log"));  // so the replace question names the real file
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
    const QString path = dialog.selectedFiles().first();
    Remember(path);
    return path;
}

QString FileDialogPicker::OpenPath(QWidget* owner) {
    QFileDialog dialog(owner, QString(), StartFolder(), kFilter);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFile);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
    const QString path = dialog.selectedFiles().first();
    Remember(path);
    return path;
}

}  // namespace tarvell
