#include "viewer/core/settings/ExportSettings.h"

#include <algorithm>
#include <mutex>

#include "platform/RecursiveLock.h"
#include "platform/Text.h"
#include "shared/CTarvellDoc.h"
#include "viewer/core/hub/CTarvellApp.h"
#include "viewer/core/hub/SettingsEdit.h"
#include "viewer/core/base/StringTable.h"

namespace tarvell {

namespace {

std::array<ExportFieldInfo, kExportFields> Described(
    const std::array<const char*, kExportFields>& names,
    const std::array<const char*, kExportFields>& descriptions) {
    std::array<ExportFieldInfo, kExportFields> out{};
    for (std::size_t i = 0; i < kExportFields; ++i) out[i] = {names[i], descriptions[i]};
    return out;
}

std::vector<std::string> AllFields(ExportCollection collection) {
    std::vector<std::string> out;
    for (const ExportFieldInfo& f : ExportFieldsOf(collection)) out.emplace_back(f.name);
    return out;
}

bool Contains(std::string_view text, std::string_view what) {
    return ToUpperAscii(text).find(ToUpperAscii(what)) != std::string::npos;
}

std::string Trimmed(std::string_view s) {
    const auto b = s.find_first_not_of(" \t");
    if (b == std::string_view::npos) return {};
    const auto e = s.find_last_not_of(" \t");
    return std::string(s.substr(b, e - b + 1));
}

std::string Unbraced(std::string value) {
    if (value.size() >= 2 && value.front() == '{' && value.back() == '}')
        return value.substr(1, value.size() - 2);
    return value;
}

// The seeding edit: reload, and save only when the defaults change something.
unsigned Seed(CTarvellApp& app, bool (*seed)(CTarvellDoc&)) {
    RecursiveGuard guard(app.Document().DocumentLock);
    if (!app.ReloadDocument()) return str::kSettingsReloadFailed;
    CTarvellDoc probe = app.Document().Fields();
    if (!seed(probe)) return 0;
    return EditResultMessage(EditSettings(app, [seed](CTarvellDoc& doc) { seed(doc); }));
}

}  // namespace

const std::array<ExportFieldInfo, kExportFields>& ExportFieldsOf(ExportCollection collection) {
    static const auto events = Described(
        EventExportFields(),
        {"The date and time of the event.",
         "The name of the device that the event was occurred on.",
         "The ip address of the device that the event was occurred on.",
         "The name of the device port that the event was occurred on.",
         "The mac address of the node that connected to the device port of the event.",
         "The ip address of the node that connected to the device port of the event.",
         "The name of the node that connected to the device port of the event.",
         "The blocking state of the device port 'yes or 'no'.", "The description of the event."});
    static const auto alerts =
        Described(AlertExportFields(),
                  {"The date and time of the alert.",
                   "The name of the device that the alert was occurred on.",
                   "The ip address of the device that the alert was occurred on.",
                   "The name of the device port that the alert was occurred on.",
                   "The system location of the switch that the alert was occurred on.",
                   "The mac address of the node that connected to the device port of the alert.",
                   "The ip address of the node that connected to the device port of the alert.",
                   "The name of the node that connected to the device port of the alert.",
                   "The description of the alert."});
    return collection == ExportCollection::Events ? events : alerts;
}

const char* ExportCollectionName(ExportCollection collection) {
    return collection == ExportCollection::Events ? "Events" : "Alerts";
}

const char* ExportCollectionDescription(ExportCollection collection) {
    return collection == ExportCollection::Events ? "Collection of current events properties."
                                                  : "Collection of current alerts properties.";
}

// ---- Defaults

bool SeedHtmlDefaults(CTarvellDoc& doc) {
    bool changed = false;
    if (doc.HtmlEventsPage.empty() || doc.HtmlAlertsPage.empty()) {
        doc.HtmlEventsPage = ExportCollectionName(ExportCollection::Events);
        doc.HtmlAlertsPage = ExportCollectionName(ExportCollection::Alerts);
        changed = true;
    }
    if (doc.HtmlEventsColumns.empty()) {
        doc.HtmlEventsColumns = AllFields(ExportCollection::Events);
        changed = true;
    }
    if (doc.HtmlAlertsColumns.empty()) {
        doc.HtmlAlertsColumns = AllFields(ExportCollection::Alerts);
        changed = true;
    }
    return changed;
}

bool SeedSqlDefaults(CTarvellDoc& doc) {
    bool changed = false;
    if (doc.SqlEventsTable.empty() || doc.SqlAlertsTable.empty()) {
        doc.SqlEventsTable = ExportCollectionName(ExportCollection::Events);
        doc.SqlAlertsTable = ExportCollectionName(ExportCollection::Alerts);
        changed = true;
    }
    if (doc.SqlEventsColumns.empty()) {
        doc.SqlEventsKeep = 0;
        doc.SqlEventsColumns = AllFields(ExportCollection::Events);
        changed = true;
    }
    if (doc.SqlAlertsColumns.empty()) {
        doc.SqlAlertsKeep = 0;
        doc.SqlAlertsColumns = AllFields(ExportCollection::Alerts);
        changed = true;
    }
    return changed;
}

unsigned SeedHtmlExport(CTarvellApp& app) { return Seed(app, &SeedHtmlDefaults); }
unsigned SeedSqlExport(CTarvellApp& app) { return Seed(app, &SeedSqlDefaults); }

// ---- Interval

std::optional<std::string> CorrectedIntervalText(std::string_view typed) {
    if (!typed.empty() && typed.front() == '0') return std::string("1");
    return std::nullopt;
}

int IntervalPosition(std::int32_t stored) {
    const int low = static_cast<int>(static_cast<std::uint32_t>(stored) & 0xFFFFu);
    return std::clamp(low, kExportIntervalMin, kExportIntervalMax);
}

int IntervalOfText(std::string_view text) {
    long value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') break;
        value = std::min<long>(value * 10 + (c - '0'), kExportIntervalMax);
    }
    return std::clamp(static_cast<int>(value), kExportIntervalMin, kExportIntervalMax);
}

// ---- Slots

ExportSlots SlotsOf(const std::vector<std::string>& stored) {
    ExportSlots fieldSlots;
    for (std::size_t i = 0; i < fieldSlots.size() && i < stored.size(); ++i)
        fieldSlots[i] = stored[i];
    return fieldSlots;
}

std::vector<std::string> StoredSlots(const ExportSlots& fieldSlots) {
    return std::vector<std::string>(fieldSlots.begin(), fieldSlots.end());
}

void SetSlot(ExportSlots& fieldSlots, ExportCollection collection, std::size_t index, bool on) {
    if (index >= fieldSlots.size()) return;
    fieldSlots[index] = on ? ExportFieldsOf(collection)[index].name : "";
}

void SetAllSlots(ExportSlots& fieldSlots, ExportCollection collection, bool on) {
    for (std::size_t i = 0; i < fieldSlots.size(); ++i) SetSlot(fieldSlots, collection, i, on);
}

ExportFieldChoice HtmlFieldsOf(const CTarvellDoc& doc) {
    ExportFieldChoice c;
    c.Of(ExportCollection::Events) = SlotsOf(doc.HtmlEventsColumns);
    c.Of(ExportCollection::Alerts) = SlotsOf(doc.HtmlAlertsColumns);
    return c;
}

ExportFieldChoice SqlFieldsOf(const CTarvellDoc& doc) {
    ExportFieldChoice c;
    c.Of(ExportCollection::Events) = SlotsOf(doc.SqlEventsColumns);
    c.Of(ExportCollection::Alerts) = SlotsOf(doc.SqlAlertsColumns);
    c.keep = {doc.SqlEventsKeep != 0, doc.SqlAlertsKeep != 0};
    return c;
}

void StoreHtmlFields(CTarvellDoc& doc, const ExportFieldChoice& choice) {
    doc.HtmlEventsColumns = StoredSlots(choice.Of(ExportCollection::Events));
    doc.HtmlAlertsColumns = StoredSlots(choice.Of(ExportCollection::Alerts));
}

void StoreSqlFields(CTarvellDoc& doc, const ExportFieldChoice& choice) {
    doc.SqlEventsColumns = StoredSlots(choice.Of(ExportCollection::Events));
    doc.SqlAlertsColumns = StoredSlots(choice.Of(ExportCollection::Alerts));
    doc.SqlEventsKeep = choice.keep[0] ? 1 : 0;
    doc.SqlAlertsKeep = choice.keep[1] ? 1 : 0;
}

// ---- Location

bool IsFileDriver(std::string_view driver) {
    for (const char* mark : {"SQLITE", "ACCESS", ".MDB", "DBASE", "EXCEL", "TEXT", "PARADOX"})
        if (Contains(driver, mark)) return true;
    return false;
}

DatabaseKind DatabaseKindOf(std::string_view location) {
    if (Contains(location, ".MDB")) return DatabaseKind::File;
    if (const auto driver = ConnectValue(location, "DRIVER"); driver && IsFileDriver(*driver))
        return DatabaseKind::File;
    return DatabaseKind::Server;
}

std::vector<std::pair<std::string, std::string>> ConnectPairs(std::string_view connect) {
    std::vector<std::pair<std::string, std::string>> pairs;
    std::size_t i = 0;
    while (i < connect.size()) {
        const std::size_t eq = connect.find('=', i);
        const std::size_t semi = connect.find(';', i);
        if (eq == std::string_view::npos || (semi != std::string_view::npos && semi < eq)) {
            // A piece without "=": skipped.
            if (semi == std::string_view::npos) break;
            i = semi + 1;
            continue;
        }
        std::string key = Trimmed(connect.substr(i, eq - i));
        std::size_t end = eq + 1;
        while (end < connect.size() && (connect[end] == ' ' || connect[end] == '\t')) ++end;
        if (end < connect.size() && connect[end] == '{') {
            const std::size_t close = connect.find('}', end);
            end = close == std::string_view::npos ? connect.size() : close + 1;
        }
        end = std::min(connect.find(';', end), connect.size());
        std::string value = Trimmed(connect.substr(eq + 1, end - eq - 1));
        if (!key.empty()) pairs.emplace_back(std::move(key), std::move(value));
        i = end + 1;
    }
    return pairs;
}

std::optional<std::string> ConnectValue(std::string_view connect, std::string_view key) {
    const std::string wanted = ToUpperAscii(key);
    for (auto& [k, v] : ConnectPairs(connect))
        if (ToUpperAscii(k) == wanted) return Unbraced(v);
    return std::nullopt;
}

ServerRuleResult ApplyServerRule(std::string connect, bool sourceReadable,
                                 const std::optional<std::string>& sourceServer) {
    ServerRuleResult r;
    if (Contains(connect, "SERVER=")) {
        r.connect = std::move(connect);
        return r;
    }
    if (!sourceReadable) {
        r.connect = std::move(connect);
        r.verifyFailed = true;
        return r;
    }
    if (sourceServer) {
        if (!connect.empty() && connect.back() != ';') connect += ';';
        connect += "SERVER=" + *sourceServer;
    }
    r.connect = std::move(connect);
    return r;
}

std::string StoredConnectString(std::string_view completedConnect, std::string_view driver) {
    std::string out = "DRIVER={" + std::string(driver) + "};";
    for (const auto& [key, value] : ConnectPairs(completedConnect)) {
        const std::string upper = ToUpperAscii(key);
        if (upper == "DSN" || upper == "DRIVER" || upper == "FILEDSN" || upper == "SAVEFILE")
            continue;
        out += key + "=" + value + ";";
    }
    return out;
}

namespace {
// Calls `each(valueBegin, valueEnd)` for every "PWD=" value of `connect`, from the last.
template <typename F>
void ForEachPassword(const std::string& connect, F each) {
    const std::string upper = ToUpperAscii(connect);
    std::vector<std::pair<std::size_t, std::size_t>> spans;
    std::size_t at = 0;
    while ((at = upper.find("PWD=", at)) != std::string::npos) {
        // Only a key: at the start or after ";" (spaces allowed).
        std::size_t before = at;
        while (before > 0 && (connect[before - 1] == ' ' || connect[before - 1] == '\t')) --before;
        const bool isKey = before == 0 || connect[before - 1] == ';';
        const std::size_t begin = at + 4;
        std::size_t end = begin;
        if (end < connect.size() && connect[end] == '{') {
            const std::size_t close = connect.find('}', end);
            end = close == std::string::npos ? connect.size() : close + 1;
        }
        end = std::min(connect.find(';', end), connect.size());
        if (isKey) spans.emplace_back(begin, end);
        at = end;
    }
    for (auto it = spans.rbegin(); it != spans.rend(); ++it) each(it->first, it->second);
}
}  // namespace

std::string MaskPassword(std::string_view connect) {
    std::string out(connect);
    ForEachPassword(out, [&](std::size_t b, std::size_t e) {
        if (e > b) out.replace(b, e - b, kMaskedPassword);
    });
    return out;
}

std::string UnmaskPassword(std::string_view shown, std::string_view real) {
    std::string out(shown);
    const auto password = ConnectValue(real, "PWD");
    if (!password) return out;
    std::string raw;  // the real value as written, braces included
    ForEachPassword(std::string(real), [&](std::size_t b, std::size_t e) {
        raw = std::string(real.substr(b, e - b));
    });
    ForEachPassword(out, [&](std::size_t b, std::size_t e) {
        if (std::string_view(out).substr(b, e - b) == kMaskedPassword) out.replace(b, e - b, raw);
    });
    return out;
}

}  // namespace tarvell
