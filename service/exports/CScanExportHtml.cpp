// The HTML export pass: support files, then the events page and the alerts page.
#include "service/exports/CScanExportHtml.h"

#include <sys/stat.h>

#include <algorithm>
#include <functional>
#include <string_view>

#include "platform/Files.h"
#include "platform/Text.h"
#include "service/exports/HtmlPage.h"

namespace tarvell {
namespace {

// Support files are small; anything larger beside the program is not what we ship.
constexpr std::size_t kMaxSupportFileBytes = 16u * 1024u * 1024u;

// The file's size and modification time, or size -1 when it is not there.
std::pair<std::int64_t, std::int64_t> FileStamp(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return {-1, 0};
    return {static_cast<std::int64_t>(st.st_size),
            static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1'000'000'000 + st.st_mtim.tv_nsec};
}

// A digest of everything a page shows but its report time.
std::uint64_t PageDigest(const std::string& path, const HtmlPageInput& input,
                         const std::vector<ExportRow>& rows) {
    std::uint64_t h = 14695981039346656037ull;
    const auto mix = [&h](std::string_view text) {
        h ^= std::hash<std::string_view>{}(text) + 0x9E3779B97F4A7C15ull + (h << 6) + (h >> 2);
        h ^= text.size() * 0x100000001B3ull;
    };
    mix(path);
    mix(input.pageName);
    mix(std::string(1, static_cast<char>(input.kind)));
    for (const std::string& c : input.columns) mix(c);
    for (const ExportRow& row : rows) {
        mix(row.key);
        for (const std::string& v : row.values) mix(v);
    }
    return h;
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
    const std::string path = PagePath(kind);
    if (path.empty()) return;
    if (ShownPositions(columns).empty()) {
        RemoveFile(path);
        return;
    }
    ExportSnapshotStats stats;
    const std::vector<ExportRow> rows = SnapshotExportRows(engine_, kind, &stats);
    if (stats.longestHoldUs > longestHoldUs_) longestHoldUs_ = stats.longestHoldUs;
    const HtmlPageInput input = PageInput(kind);
    const int index = kind == ExportKind::Events ? 0 : 1;
    const std::uint64_t digest = PageDigest(path, input, rows);
    std::optional<Written>& last = written_[static_cast<std::size_t>(index)];
    if (last && last->digest == digest) {
        const auto [size, modified] = FileStamp(path);
        if (size == last->size && modified == last->modifiedNs) {
            ++unchanged_;
            return;
        }
    }
    last.reset();
    std::string text = BuildPageHead(input, rows);
    AppendPageRows(text, input, rows);
    if (WritePageTail(text, index)) {
        const auto [size, modified] = FileStamp(path);
        last = Written{digest, size, modified};
    }
}

}  // namespace tarvell
