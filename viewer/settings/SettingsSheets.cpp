#include "viewer/settings/SettingsSheets.h"

#include <map>

namespace tarvell {

// Each sheet file's registration, called once, one a line.
// (none yet)

namespace {

using SheetTable = std::map<QString, SettingsSheetOpener>;

void RegisterBuiltInSheets() {
}

SheetTable& Table() {
    static SheetTable sheets;
    return sheets;
}

// The table with the built-in sheets registered (registration itself writes to Table()).
SheetTable& Sheets() {
    static const bool registered = (RegisterBuiltInSheets(), true);
    (void)registered;
    return Table();
}

}  // namespace

void RegisterSettingsSheet(const QString& caption, SettingsSheetOpener opener) {
    Table()[caption] = std::move(opener);
}

bool HasSettingsSheet(const QString& caption) { return Sheets().count(caption) != 0; }

bool OpenSettingsSheet(const QString& caption, const SheetServices& services) {
    const auto found = Sheets().find(caption);
    return found != Sheets().end() && found->second && found->second(services);
}

}  // namespace tarvell
