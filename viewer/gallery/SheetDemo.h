// The demo property sheet of the gallery: two pages with an address entry, a check list and
// links, one of them inactive.
#pragma once

class QDir;

namespace tarvell {

// Writes kit-sheet.png (the first page) and kit-sheet-devices.png (the second); false after the
// first picture that cannot be written.
bool WriteSheetPictures(const QDir& dir);

}  // namespace tarvell
