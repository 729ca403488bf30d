// The database export pass: connect, the events table, the alerts table, disconnect.
#include "service/exports/CScanExportSql.h"

#include <algorithm>
#include <unordered_map>
#include <unordered_set>

#include "platform/Text.h"
#include "service/exports/SqlConnect.h"

namespace tarvell {
namespace {

constexpr const char* kOpenFailed =
    "The export database was unable to open for the following reason: No appropriate location "
    "found.";
constexpr const char* kEventsFailed = "Failed updating Events table.";
constexpr const char* kAlertsFailed = "Failed updating Alerts table.";
constexpr const char* kTablesFailed = "Failed binding database tables.";
constexpr const char* kColumnsFailed = "Failed binding database columns.";
constexpr const char* kQueryFailed = "Failed executing database query.";
constexpr const char* kLongKeys =
    "Records whose keys are longer than 250 bytes could not be exported; they are left out.";

constexpr const char* kKeyColumn = "PKey";
// Bounds of what is read back: keys and values are written by us at 250 characters (UTF-8,
// so up to 1000 bytes); a longer stored text is cut, which only makes it differ.
constexpr std::size_t kMaxStoredText = 4096;
constexpr std::size_t kMaxCatalogName = 1024;

using Values = std::vector<std::optional<std::string>>;

// The columns of a table that the pass writes: the configured names in position order, each
// name once.
struct WriteColumn {
    std::size_t position;
    std::string name;  // UTF-8
};

}  // namespace

void CScanExportSql::Run() {
    while (!WaitForStop(passWaitMs_)) {
        ExportOnce();
        const auto settings = engine_.Settings();
        const std::int64_t minutes = settings ? IntervalMinutes(settings->SqlInterval) : 0;
        if (minutes > 0 && WaitForStop(minutes * 60'000)) break;
    }
}

void CScanExportSql::Report(const std::string& message) {
    if (reportedNow_.insert(message).second && !reportedBefore_.count(message))
        engine_.Log(message);
}

std::string CScanExportSql::Quote(const std::string& name) const {
    if (quote_.empty()) return name;
    std::string out = quote_;
    for (char c : name) {
        out += c;
        if (quote_.size() == 1 && c == quote_[0]) out += c;
    }
    return out + quote_;
}

void CScanExportSql::ExportOnce() {
    settings_ = engine_.Settings();
    reportedNow_.clear();
    longestHoldUs_ = 0;
    if (settings_ && settings_->SqlExportOn != 0 && !settings_->SqlDatabase.empty()) {
        const std::vector<std::string> drivers = env_.Drivers();
        std::string why;
        const auto connect = CheckedConnectString(
            BuildConnectString(Cp1252ToUtf8(settings_->SqlDatabase), drivers), drivers, &why);
        db_ = std::make_unique<odbc::Connection>(env_);
        if (!connect) {
            Report("The export database location is refused (" + why + "); nothing is exported");
        } else if (!db_->Connect(*connect, loginTimeout_, nullptr)) {
            Report(kOpenFailed);
        } else {
            quote_ = db_->IdentifierQuote();
            escape_ = db_->SearchPatternEscape();
            SyncEventsTable();
            SyncAlertsTable();
            db_->Disconnect();
        }
        db_.reset();
    }
    reportedBefore_ = reportedNow_;
}

void CScanExportSql::SyncEventsTable() { SyncTable(ExportKind::Events); }
void CScanExportSql::SyncAlertsTable() { SyncTable(ExportKind::Alerts); }

SQLRETURN CScanExportSql::Execute(const std::string& statement) {
    if (!db_) return SQL_ERROR;
    odbc::Statement st(*db_);
    if (!st.Valid()) {
        Report(kQueryFailed);
        return SQL_ERROR;
    }
    return st.ExecDirect(statement);
}

bool CScanExportSql::TableExists(const std::string& name) {
    if (!db_) return false;
    const std::string pattern = odbc::EscapeSearchPattern(name, escape_);
    // Some drivers take the escape character literally; the plain name is then asked for, and
    // only exact names count either way.
    for (const std::string& asked : {pattern, name}) {
        odbc::Statement st(*db_);
        if (!odbc::Succeeded(st.Tables(asked, "TABLE"))) {
            Report(kTablesFailed);
            return false;
        }
        SQLRETURN rc;
        while (odbc::Succeeded(rc = st.Fetch())) {
            bool ok = true;
            const auto listed = st.GetText(3, kMaxCatalogName, &ok);
            if (!ok) {
                Report(kTablesFailed);
                return false;
            }
            if (listed && *listed == name) return true;
        }
        if (rc != SQL_NO_DATA) {
            Report(kTablesFailed);
            return false;
        }
        if (asked == name) break;
    }
    return false;
}

std::optional<std::vector<std::string>> CScanExportSql::ListColumns(const std::string& table) {
    if (!db_) return std::nullopt;
    const std::string pattern = odbc::EscapeSearchPattern(table, escape_);
    std::vector<std::string> names;
    for (const std::string& asked : {pattern, table}) {
        odbc::Statement st(*db_);
        if (!odbc::Succeeded(st.Columns(asked))) return std::nullopt;
        SQLRETURN rc;
        while (odbc::Succeeded(rc = st.Fetch())) {
            bool ok = true;
            const auto owner = st.GetText(3, kMaxCatalogName, &ok);
            const auto column = st.GetText(4, kMaxCatalogName, &ok);
            if (!ok) return std::nullopt;
            if (owner && *owner == table && column) names.push_back(*column);
        }
        if (rc != SQL_NO_DATA) return std::nullopt;
        if (!names.empty() || asked == table) break;
    }
    return names;
}

void CScanExportSql::SyncColumns(const std::string& table,
                                 const std::vector<std::string>& columns) {
    const auto existing = ListColumns(table);
    if (!existing) {
        Report(kColumnsFailed);
        return;
    }
    std::vector<std::string> have = *existing;
    for (const std::string& name : columns) {
        if (name.empty() || std::find(have.begin(), have.end(), name) != have.end()) continue;
        if (!odbc::Succeeded(
                Execute("ALTER TABLE " + Quote(table) + " ADD " + Quote(name) + " VARCHAR(250)"))) {
            Report(kColumnsFailed);
            return;
        }
        have.push_back(name);
    }
    for (const std::string& name : *existing) {
        if (name == kKeyColumn || std::find(columns.begin(), columns.end(), name) != columns.end())
            continue;
        if (!odbc::Succeeded(
                Execute("ALTER TABLE " + Quote(table) + " DROP COLUMN " + Quote(name)))) {
            Report(kColumnsFailed);
            return;
        }
    }
}

void CScanExportSql::SyncTable(ExportKind kind) {
    if (!db_ || !settings_) return;
    const bool events = kind == ExportKind::Events;
    const char* failed = events ? kEventsFailed : kAlertsFailed;
    const std::string table =
        Cp1252ToUtf8(events ? settings_->SqlEventsTable : settings_->SqlAlertsTable);
    const std::vector<std::string>& configured =
        events ? settings_->SqlEventsColumns : settings_->SqlAlertsColumns;
    std::vector<std::string> columns(kExportFields);
    bool hasColumns = false;
    bool badName = table.empty() || table.size() > kSqlNameBytes;
    for (std::size_t i = 0; i < kExportFields && i < configured.size(); ++i) {
        columns[i] = Cp1252ToUtf8(configured[i]);
        hasColumns = hasColumns || !columns[i].empty();
        badName = badName || columns[i].size() > kSqlNameBytes || columns[i] == kKeyColumn;
    }
    if (!hasColumns && table.empty()) return;
    if (badName) {
        Report(failed);
        return;
    }

    if (!TableExists(table)) {
        if (!hasColumns) return;
        std::string create = "CREATE TABLE " + Quote(table) + " (" + Quote(kKeyColumn) +
                             " VARCHAR(250) NOT NULL PRIMARY KEY";
        for (const std::string& name : columns)
            if (!name.empty()) create += ", " + Quote(name) + " VARCHAR(250)";
        create += ")";
        if (!odbc::Succeeded(Execute(create))) {
            Report(failed);
            return;
        }
    } else if (!hasColumns) {
        if (!odbc::Succeeded(Execute("DROP TABLE " + Quote(table)))) Report(failed);
        return;
    } else {
        SyncColumns(table, columns);
    }
    const bool keep = (events ? settings_->SqlEventsKeep : settings_->SqlAlertsKeep) != 0;
    if (!WriteRows(kind, table, columns, keep)) Report(failed);
}

bool CScanExportSql::WriteRows(ExportKind kind, const std::string& table,
                               const std::vector<std::string>& columns, bool keep) {
    const bool events = kind == ExportKind::Events;
    const auto existing = ListColumns(table);
    if (!existing) return false;
    // The configured columns the table has (a refused ALTER leaves one out), each name once.
    std::vector<WriteColumn> write;
    for (std::size_t i = 0; i < columns.size(); ++i) {
        const std::string& name = columns[i];
        if (name.empty() ||
            std::find(existing->begin(), existing->end(), name) == existing->end() ||
            std::any_of(write.begin(), write.end(),
                        [&](const WriteColumn& w) { return w.name == name; }))
            continue;
        write.push_back({i, name});
    }

    // What the table holds: keys, and for events the values, to update only what changed.
    std::string select = "SELECT " + Quote(kKeyColumn);
    if (events)
        for (const WriteColumn& w : write) select += ", " + Quote(w.name);
    select += " FROM " + Quote(table);
    std::unordered_map<std::string, Values> stored;
    {
        odbc::Statement st(*db_);
        if (!odbc::Succeeded(st.ExecDirect(select))) return false;
        SQLRETURN rc;
        while (odbc::Succeeded(rc = st.Fetch())) {
            bool ok = true;
            const auto key = st.GetText(1, kMaxStoredText, &ok);
            Values values;
            if (events)
                for (std::size_t i = 0; i < write.size(); ++i)
                    values.push_back(
                        st.GetText(static_cast<SQLUSMALLINT>(i + 2), kMaxStoredText, &ok));
            if (!ok) return false;
            if (key) stored.emplace(*key, std::move(values));
        }
        if (rc != SQL_NO_DATA) return false;
    }

    ExportSnapshotStats stats;
    const std::vector<ExportRow> rows = SnapshotExportRows(engine_, kind, &stats);
    if (stats.longestHoldUs > longestHoldUs_) longestHoldUs_ = stats.longestHoldUs;

    std::string insert = "INSERT INTO " + Quote(table) + " (" + Quote(kKeyColumn);
    std::string marks = "?";
    std::string update = "UPDATE " + Quote(table) + " SET ";
    for (std::size_t i = 0; i < write.size(); ++i) {
        insert += ", " + Quote(write[i].name);
        marks += ", ?";
        update += (i ? ", " : "") + Quote(write[i].name) + " = ?";
    }
    insert += ") VALUES (" + marks + ")";
    update += " WHERE " + Quote(kKeyColumn) + " = ?";

    if (!db_->SetAutoCommit(false)) return false;
    bool ok = true;
    odbc::Statement inserter(*db_);
    odbc::Statement updater(*db_);
    odbc::Statement deleter(*db_);
    ok = odbc::Succeeded(inserter.Prepare(insert)) &&
         (!events || write.empty() || odbc::Succeeded(updater.Prepare(update))) &&
         (keep || odbc::Succeeded(deleter.Prepare("DELETE FROM " + Quote(table) + " WHERE " +
                                                  Quote(kKeyColumn) + " = ?")));
    std::unordered_set<std::string> written;
    written.reserve(rows.size());
    for (std::size_t r = 0; ok && r < rows.size(); ++r) {
        const ExportRow& row = rows[r];
        if (row.key.size() > kSqlValueBytes) {
            Report(kLongKeys);
            continue;
        }
        std::string key = Cp1252ToUtf8(row.key);
        Values values;
        values.reserve(write.size() + 1);
        for (const WriteColumn& w : write) {
            const std::string& v = row.values[w.position];
            values.emplace_back(Cp1252ToUtf8(std::string_view(v).substr(0, kSqlValueBytes)));
        }
        const auto found = stored.find(key);
        if (found == stored.end()) {
            values.insert(values.begin(), key);
            ok = odbc::Succeeded(inserter.Execute(values));
        } else if (events && !write.empty() && found->second != values) {
            values.push_back(key);
            ok = odbc::Succeeded(updater.Execute(values));
        }
        written.insert(std::move(key));
    }
    if (ok && !keep) {
        for (const auto& [key, values] : stored) {
            if (written.count(key)) continue;
            if (!(ok = odbc::Succeeded(deleter.Execute({key})))) break;
        }
    }
    ok = ok && db_->Commit();
    if (!ok) db_->Rollback();
    db_->SetAutoCommit(true);
    return ok;
}

}  // namespace tarvell
