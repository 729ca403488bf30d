// The database export worker: every SqlInterval minutes (after a 10-second wait) it connects to
// the `SqlDatabase` location over ODBC, mirrors the events and the active alerts into their
// tables (one row per record keyed by its map key in "PKey"), brings each table's columns in
// line with the settings, removes the rows of vanished records unless told to keep them, and
// disconnects.
//
// Thread contract: the maps are copied out in chunks under their locks (ExportRows.h); no lock
// is held while the database is used. The connection belongs to this thread.
// Database rules: identifiers are quoted with the driver's quote character; every value and key
// is a bound parameter (never part of a statement's text); texts go to the database as UTF-8;
// the rows of one table are written in one transaction, so a failure leaves that table as the
// previous pass wrote it. Failures are logged with fixed sentences, once while they last; the
// connect string (it may hold a password) is never logged.
#pragma once

#include <sql.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "platform/WorkerThread.h"
#include "platform/odbc/Odbc.h"
#include "service/engine/CTarvellFrm.h"
#include "service/exports/ExportRows.h"

namespace tarvell {

// Values are cut to this many bytes (Windows-1252, so also characters); keys are not cut.
inline constexpr std::size_t kSqlValueBytes = 250;
// Table and column names longer than this are refused (the catalog reads 259 at most).
inline constexpr std::size_t kSqlNameBytes = 128;

class CScanExportSql : public WorkerThread {
public:
    explicit CScanExportSql(CTarvellFrm& engine, std::int64_t passWaitMs = 10'000,
                            int loginTimeoutSeconds = 15)
        : engine_(engine), passWaitMs_(passWaitMs), loginTimeout_(loginTimeoutSeconds) {}
    ~CScanExportSql() override { StopAndJoin(); }

    // One pass: connect, both tables, disconnect; nothing when the export is off or has no
    // location.
    void ExportOnce();
    void SyncEventsTable();
    void SyncAlertsTable();
    // Runs one statement on a fresh statement handle of the open connection and returns the
    // ODBC return code (SQL_ERROR when no handle could be had, which is logged).
    SQLRETURN Execute(const std::string& statement);
    // Whether the database lists a table of exactly this name (UTF-8).
    bool TableExists(const std::string& name);
    // Adds the configured columns the table lacks and drops the ones no longer configured
    // (never PKey). A refused change is logged and ends the call; the rows are still written.
    void SyncColumns(const std::string& table, const std::vector<std::string>& columns);

    // Figures of the last pass, for the benchmark.
    std::int64_t LongestLockHoldUs() const { return longestHoldUs_.load(); }

protected:
    void Run() override;

private:
    void SyncTable(ExportKind kind);
    bool WriteRows(ExportKind kind, const std::string& table,
                   const std::vector<std::string>& columns, bool keep);
    std::optional<std::vector<std::string>> ListColumns(const std::string& table);
    std::string Quote(const std::string& name) const;
    // Logs a message once while it lasts: a message logged in the previous pass is not logged
    // again until a pass goes without it.
    void Report(const std::string& message);

    CTarvellFrm& engine_;
    const std::int64_t passWaitMs_;
    const int loginTimeout_;
    std::shared_ptr<const CTarvellDoc> settings_;  // this pass's snapshot
    odbc::Environment env_;
    std::unique_ptr<odbc::Connection> db_;
    std::string quote_ = "\"";
    std::string escape_;
    std::set<std::string> reportedBefore_, reportedNow_;
    std::atomic<std::int64_t> longestHoldUs_{0};
};

}  // namespace tarvell
