// The settings window's panels by category, and the option sheets that the panels' links open,
// found by their caption ("HTML Options", "SQL Options", "Email Options", "Run Commands Options",
// ...), so a panel names the sheet it opens and never includes the file that builds it. The sheets'
// files register their openers through the list in SettingsSheets.cpp, taken the first time the
// table is used. GUI thread only.
#pragma once

#include <QString>
#include <functional>

#include "viewer/core/base/CommandIds.h"

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

// The settings window's panels other than Local, by their category command: a panel's file
// registers its maker through the list in SettingsSheets.cpp; a category with no maker shows
// its title alone.
class CSettingsPanelBase;
using SettingsPanelMaker = std::function<CSettingsPanelBase*(const SheetServices&)>;
void RegisterSettingsPanel(CommandId category, SettingsPanelMaker maker);
// Null when no panel is registered for the category.
CSettingsPanelBase* MakeSettingsPanel(CommandId category, const SheetServices& services);

}  // namespace tarvell
