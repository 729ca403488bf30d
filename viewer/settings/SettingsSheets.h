// The option sheets that the settings panels' links open, found by their caption ("HTML Options",
// "SQL Options", "Email Options", "Run Commands Options", ...), so a panel names the sheet it opens
// and never includes the file that builds it. The sheets' files register their openers through
// the list in SettingsSheets.cpp, taken the first time the table is used. GUI thread only.
#pragma once

#include <QString>
#include <functional>

class QWidget;

namespace tarvell {

class FilePicker;
class FolderPicker;
struct PageContext;

// What an opened sheet may use: the page's shell context, the file dialogs (scripted in tests)
// and the widget the sheet is modal to.
struct SheetServices {
    const PageContext& context;
    FolderPicker& folders;
    FilePicker& files;
    QWidget* parent = nullptr;
};

// Runs the sheet modally; true when it was closed with OK.
using SettingsSheetOpener = std::function<bool(const SheetServices&)>;

// A later registration under the same caption replaces the earlier one.
void RegisterSettingsSheet(const QString& caption, SettingsSheetOpener opener);
bool HasSettingsSheet(const QString& caption);
// False when no sheet of that caption is registered or the sheet was cancelled.
bool OpenSettingsSheet(const QString& caption, const SheetServices& services);

}  // namespace tarvell
