// Alert archives: files in the service's alert file format (a copy of its Tarvell.log or of a
// daily archive reads the same), written whole by temporary file and rename and read strictly.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "viewer/core/alerts/AlertRows.h"

namespace tarvell {

class CTarvellApp;

inline constexpr std::string_view kArchiveDamagedText =
    "Failed loading alerts, invalid or damaged archived file was selected.";

// Writes every alert the hub holds (both kinds) to `path`; false when the file could not be
// written, and then no file of that name is left behind other than one that was there before.
bool WriteAlertArchive(const CTarvellApp& app, const std::string& path);

struct ArchiveView {
    bool readable = false;                     // false: the file could not be opened or decoded
    std::vector<AlertRow> rows;                // the alerts of the mode, in the file's key order
    std::map<std::string, CAlertItem> alerts;  // the same alerts by key: their details
};
// Reads an archive whole before adding anything, so a damaged or truncated file gives no rows.
ArchiveView ReadAlertArchive(const std::string& path, std::uint32_t mode);

}  // namespace tarvell
