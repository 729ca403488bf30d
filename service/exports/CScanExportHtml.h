// The HTML export worker: every HtmlInterval minutes (after a 10-second wait) it rewrites the
// events page and the alerts page in HtmlFolder, and copies the list control's support files
// there when they are missing.
//
// Thread contract: the maps are copied out in chunks under EngineLock (events) and AlertLock
// (alerts), never both at once; the page is built and written with no lock held. A page is
// written to "<page>.htm.tmp" and renamed over the old one, so a reader never sees half a page.
// A page name that could leave the folder ("/", "\", "..") is refused and logged once while it
// lasts. Other failures (missing folder, unwritable file) leave the old page and are not
// reported. Settings are read afresh each pass. Folder and page names are stored as
// Windows-1252 and name files in UTF-8, as every file name here does. A page whose rows, columns,
// name and file are those it was last written with (and whose file nobody has touched since) is
// left as it is, with the report time of that writing.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "platform/WorkerThread.h"
#include "service/engine/CTarvellFrm.h"
#include "service/exports/ExportRows.h"
#include "service/exports/HtmlPage.h"

namespace tarvell {

class CScanExportHtml : public WorkerThread {
public:
    struct FileStamp {
        bool exists = false;
        std::uint64_t device = 0, inode = 0;
        std::int64_t size = 0, modifiedNs = 0, changedNs = 0;
        bool operator==(const FileStamp&) const = default;
    };

    // `passWaitMs`: the wait before each pass (10 s in the service; tests shorten it).
    explicit CScanExportHtml(CTarvellFrm& engine, std::int64_t passWaitMs = 10'000)
        : engine_(engine), passWaitMs_(passWaitMs) {}
    ~CScanExportHtml() override { StopAndJoin(); }

    // One pass: the support files and both pages, when the export is on and has a folder.
    void ExportOnce();
    void WriteEventsPage();
    void WriteAlertsPage();
    // The page text up to and including the column headers (kind 0 events, 1 alerts).
    std::string WritePageHead(int kind, const std::vector<ExportRow>& rows);
    // Appends the tail and writes the page file of that kind; false when it could not be written.
    bool WritePageTail(std::string& text, int kind);

    // The longest hold of a map lock during the last pass, in microseconds.
    std::int64_t LongestLockHoldUs() const { return longestHoldUs_.load(); }
    // Pages left as they were because nothing in them changed, since the worker was made.
    std::uint64_t PagesLeftUnchanged() const { return unchanged_.load(); }

protected:
    void Run() override;

private:
    void WritePage(ExportKind kind);
    HtmlPageInput PageInput(ExportKind kind);
    // The page file of a kind, or empty when its name is refused (logged once while it lasts).
    std::string PagePath(ExportKind kind);
    void CopySupportFile(const std::string& name);

    CTarvellFrm& engine_;
    const std::int64_t passWaitMs_;
    std::shared_ptr<const CTarvellDoc> settings_;  // this pass's snapshot (worker thread only)
    std::set<std::string> loggedNames_;            // refused names already logged (worker thread)
    std::atomic<std::int64_t> longestHoldUs_{0};
    // What each page (0 events, 1 alerts) was last written from and the file it made; a pass
    // that finds all of it as it was leaves the page alone.
    struct Written {
        std::uint64_t inputDigest = 0;  // ExportInputDigest of the page's map
        std::string path;
        std::string pageName;
        std::vector<std::string> columns;
        FileStamp file;
    };
    std::array<std::optional<Written>, 2> written_;  // worker thread only
    std::atomic<std::uint64_t> unchanged_{0};
};

}  // namespace tarvell
