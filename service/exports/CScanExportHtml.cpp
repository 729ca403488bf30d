// The HTML export pass: support files, then the events page and the alerts page.
#include "service/exports/CScanExportHtml.h"

#include <sys/stat.h>

#include <algorithm>

#include "platform/Files.h"
#include "platform/Text.h"
#include "service/exports/HtmlPage.h"

namespace tarvell {
namespace {

// Support files are small; anything larger beside the program is not what we ship.
constexpr std::size_t kMaxSupportFileBytes = 16u * 1024u * 1024u;

// What tells the file at `path` from any other file or content there: device, inode, size,
// modification and change times. `exists` is false when there is no file.
CScanExportHtml::FileStamp StampOf(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return {};
    const auto ns = [](const timespec& t) {
        return static_cast<std::int64_t>(t.tv_sec) * 1'000'000'000 + t.tv_nsec;
    };
    return {true,
            static_cast<std::uint64_t>(st.st_dev),
            static_cast<std::uint64_t>(st.st_ino),
            static_cast<std::int64_t>(st.st_size),
            ns(st.st_mtim),
            ns(st.st_ctim)};
}

const CTarvellDoc& Blank() {
    static const CTarvellDoc doc;
    return doc;
}

}  // namespace

void CScanExportHtml::Run() {
    while (!WaitForStop(passWaitMs_)) {
        ExportOnce();
        const auto settings = engine_.Settings();
        const std::int64_t minutes = settings ? IntervalMinutes(settings->HtmlInterval) : 0;
        if (minutes > 0 && WaitForStop(minutes * 60'000)) break;
    }
}

void CScanExportHtml::ExportOnce() {
    settings_ = engine_.Settings();
    if (!settings_) return;
    if (settings_->HtmlExportOn == 0 || settings_->HtmlFolder.empty()) return;
    longestHoldUs_ = 0;
    CopySupportFile("ListView.lpk");
    CopySupportFile("MSCOMCTL.cab");
    WriteEventsPage();
    WriteAlertsPage();
}

void CScanExportHtml::CopySupportFile(const std::string& name) {
    const std::string target = JoinPath(Cp1252ToUtf8(settings_->HtmlFolder), name);
    if (FileExists(target)) return;
    const auto bytes = ReadWholeFile(JoinPath(engine_.ServiceFolder, name), kMaxSupportFileBytes);
    if (bytes) AtomicWriteFile(target, *bytes);
}

void CScanExportHtml::WriteEventsPage() { WritePage(ExportKind::Events); }
void CScanExportHtml::WriteAlertsPage() { WritePage(ExportKind::Alerts); }

std::string CScanExportHtml::PagePath(ExportKind kind) {
    const CTarvellDoc& s = settings_ ? *settings_ : Blank();
    const std::string& name = kind == ExportKind::Events ? s.HtmlEventsPage : s.HtmlAlertsPage;
    const std::string problem = PageNameProblem(name);
    if (problem.empty()) {
        loggedNames_.erase(name);
        return JoinPath(Cp1252ToUtf8(s.HtmlFolder), Cp1252ToUtf8(name) + ".htm");
    }
    if (loggedNames_.insert(name).second)
        engine_.Log("Export page " + name.substr(0, kMaxPageNameBytes) + " could not be written (" +
                    problem + "); the page is left out");
    return {};
}

HtmlPageInput CScanExportHtml::PageInput(ExportKind kind) {
    if (!settings_) settings_ = engine_.Settings();
    const bool events = kind == ExportKind::Events;
    HtmlPageInput input;
    input.kind = kind;
    input.pageName = events ? settings_->HtmlEventsPage : settings_->HtmlAlertsPage;
    input.columns = events ? settings_->HtmlEventsColumns : settings_->HtmlAlertsColumns;
    input.now = engine_.clock().Now();
    return input;
}

std::string CScanExportHtml::WritePageHead(int kind, const std::vector<ExportRow>& rows) {
    return BuildPageHead(PageInput(kind == 0 ? ExportKind::Events : ExportKind::Alerts), rows);
}

bool CScanExportHtml::WritePageTail(std::string& text, int kind) {
    AppendPageTail(text);
    const std::string path = PagePath(kind == 0 ? ExportKind::Events : ExportKind::Alerts);
    return !path.empty() && AtomicWriteFile(path, text);
}

void CScanExportHtml::WritePage(ExportKind kind) {
    if (!settings_) settings_ = engine_.Settings();
    const std::vector<std::string>& columns =
        kind == ExportKind::Events ? settings_->HtmlEventsColumns : settings_->HtmlAlertsColumns;
    const int index = kind == ExportKind::Events ? 0 : 1;
    std::optional<Written>& last = written_[static_cast<std::size_t>(index)];
    const std::string path = PagePath(kind);
    if (path.empty()) return;
    if (ShownPositions(columns).empty()) {
        last.reset();
        RemoveFile(path);
        return;
    }
    // Whether anything the page shows changed is told from the records as they lie; the rows
    // are formed only for a page that is written.
    ExportSnapshotStats stats;
    Written now{ExportInputDigest(engine_, kind, &stats), path, {}, columns, {}};
    const HtmlPageInput input = PageInput(kind);
    now.pageName = input.pageName;
    if (last && last->inputDigest == now.inputDigest && last->path == now.path &&
        last->pageName == now.pageName && last->columns == now.columns &&
        last->file == StampOf(path)) {
        if (stats.longestHoldUs > longestHoldUs_) longestHoldUs_ = stats.longestHoldUs;
        ++unchanged_;
        return;
    }
    last.reset();
    // The page is remembered by the digest of the records it was formed from: a record that
    // changed after the digest above and changes back later must not leave it behind.
    std::optional<std::uint64_t> formedFrom;
    const std::vector<ExportRow> rows = SnapshotExportRows(engine_, kind, &stats, &formedFrom);
    if (stats.longestHoldUs > longestHoldUs_) longestHoldUs_ = stats.longestHoldUs;
    std::string text = BuildPageHead(input, rows);
    AppendPageRows(text, input, rows);
    if (WritePageTail(text, index) && formedFrom) {
        now.inputDigest = *formedFrom;
        now.file = StampOf(path);
        if (now.file.exists) last = std::move(now);
    }
}

}  // namespace tarvell
