// The export settings without their widgets: the fields of the two exported collections and
// their descriptions, the defaults written when an export is switched on, the interval text,
// the field pages' working slots, and the database location (radio choice, the "SERVER=" rule,
// the stored driver-named form, the masked password).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "shared/ExportFields.h"
#include "shared/SettingRanges.h"

namespace tarvell {

class CTarvellApp;
class CTarvellDoc;

enum class ExportCollection { Events = 0, Alerts = 1 };
inline constexpr std::array<ExportCollection, 2> kExportCollections = {ExportCollection::Events,
                                                                       ExportCollection::Alerts};

struct ExportFieldInfo {
    const char* name;
    const char* description;
};

// The collection's nine fields in slot order; the names are the service's own.
const std::array<ExportFieldInfo, kExportFields>& ExportFieldsOf(ExportCollection collection);
// "Events" / "Alerts" and their drop-down descriptions.
const char* ExportCollectionName(ExportCollection collection);
const char* ExportCollectionDescription(ExportCollection collection);

// ---- Defaults written when an export is switched on

// The HTML defaults on `doc`: the page names when either is empty, every field when a column
// list is empty. True when something changed.
bool SeedHtmlDefaults(CTarvellDoc& doc);
// The same for the database: table names and column lists; a column list that is filled sets
// its table's keep flag to 0 first.
bool SeedSqlDefaults(CTarvellDoc& doc);

// Reloads the settings and, when the defaults change something, saves them in one edit.
// Returns the message to show: 0 (saved or nothing to do), 20040 (the reload failed, nothing
// written) or 20041 (the save failed).
unsigned SeedHtmlExport(CTarvellApp& app);
unsigned SeedSqlExport(CTarvellApp& app);

// ---- The General pages

inline constexpr int kExportIntervalMin = 1;
inline constexpr int kExportIntervalMax = RangeOf("SqlInterval").max;
static_assert(RangeOf("HtmlInterval").max == kExportIntervalMax);
inline constexpr int kExportIntervalChars = 4;

// The edit's text after a keystroke: a text beginning with "0" becomes "1"; nullopt when it
// stays as typed.
std::optional<std::string> CorrectedIntervalText(std::string_view typed);
// The minutes the spin shows for a stored interval: its low 16 bits, within 1..9999.
int IntervalPosition(std::int32_t stored);
// The minutes of the edit's text (leading digits), within 1..9999.
int IntervalOfText(std::string_view text);

// ---- The field pages' working copy

// Nine slots: a slot holds its field's name when the field is exported, else "".
using ExportSlots = std::array<std::string, kExportFields>;

// A stored column list as slots: the first nine entries, missing ones empty. A filled entry
// whose text is not the field's name is kept as stored (the service reads any non-empty entry
// as on).
ExportSlots SlotsOf(const std::vector<std::string>& stored);
std::vector<std::string> StoredSlots(const ExportSlots& fieldSlots);
// Slot `index` on (the field's name) or off (""); an index past the slots changes nothing.
void SetSlot(ExportSlots& fieldSlots, ExportCollection collection, std::size_t index, bool on);
void SetAllSlots(ExportSlots& fieldSlots, ExportCollection collection, bool on);
inline bool SlotOn(const ExportSlots& fieldSlots, std::size_t index) {
    return index < fieldSlots.size() && !fieldSlots[index].empty();
}

// What a field page edits: both collections' slots and, on the database page, both keep flags.
struct ExportFieldChoice {
    std::array<ExportSlots, 2> fieldSlots;
    std::array<bool, 2> keep{};
    ExportSlots& Of(ExportCollection c) { return fieldSlots[static_cast<std::size_t>(c)]; }
    const ExportSlots& Of(ExportCollection c) const {
        return fieldSlots[static_cast<std::size_t>(c)];
    }
};
ExportFieldChoice HtmlFieldsOf(const CTarvellDoc& doc);
ExportFieldChoice SqlFieldsOf(const CTarvellDoc& doc);
void StoreHtmlFields(CTarvellDoc& doc, const ExportFieldChoice& choice);
void StoreSqlFields(CTarvellDoc& doc, const ExportFieldChoice& choice);

// ---- The database location

// The two radio buttons of the General page.
enum class DatabaseKind { Server, File };
inline constexpr const char* kServerRadio = "SQL Server";
inline constexpr const char* kFileRadio = "Microsoft Access Driver (*.mdb)";

// A driver that keeps its database in one file (SQLite, Access, dBase, text and the like).
bool IsFileDriver(std::string_view driver);
// The radio for a stored location: a file when it names ".mdb" (any case) or a file driver in
// its "DRIVER=" pair.
DatabaseKind DatabaseKindOf(std::string_view location);

// The connect string's "key=value" pairs in order; a value in braces may hold ";".
std::vector<std::pair<std::string, std::string>> ConnectPairs(std::string_view connect);
// The value of `key` (any case), nullopt when absent.
std::optional<std::string> ConnectValue(std::string_view connect, std::string_view key);

// The "SERVER=" rule for a server database: when `connect` holds no "SERVER=" (any case), the
// data source's "Server" value is appended, after a ";" unless the string ends with one.
// `sourceServer` is the data source's value (nullopt: the key is absent); `sourceReadable`
// false means the data source could not be read, which is reported and leaves the string.
struct ServerRuleResult {
    std::string connect;
    bool verifyFailed = false;
};
ServerRuleResult ApplyServerRule(std::string connect, bool sourceReadable,
                                 const std::optional<std::string>& sourceServer);

// What the settings store for a connection made through the viewer's own data source: the
// driver named as the driver manager knows it and the connection's other pairs, without
// "DSN=" (the service never reads the viewer's private data sources).
std::string StoredConnectString(std::string_view completedConnect, std::string_view driver);

// The text shown for a location: every "PWD=" value replaced by "********".
inline constexpr std::string_view kMaskedPassword = "********";
std::string MaskPassword(std::string_view connect);
// The location to store from the edit's text: a masked "PWD=" value still shown is put back
// from `real` (what was loaded or chosen); a password typed over the mask is kept.
std::string UnmaskPassword(std::string_view shown, std::string_view real);

}  // namespace tarvell
