// The alert channels' target lists without a display: a page's working list of targets with
// their filters, the names of the filter types, the table of the four target pages (recipients,
// managers, listeners, commands) and the rules of their Test links. The stored entries and their
// filter lists are shared/AlertTarget.h, which the service reads when it delivers.
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "shared/AlertTarget.h"

namespace tarvell {

class CTarvellDoc;
class Clock;
class ServiceControl;

// "Alert", "Device Name", ... "Description", by digit 0..8.
const std::array<std::string_view, kFilterTypes>& FilterTypeNames();
// The digit of a type name, or -1.
int FilterTypeOfName(std::string_view name);

// Message id refusing a typed target (a "|" would split its entry, or text that cannot be
// stored), 0 when it may be added.
unsigned CheckTargetText(std::string_view utf8);
// The same for a filter pattern (";" or "|" would split the stored list).
unsigned CheckFilterPattern(std::string_view utf8);

enum class TargetFamily { Recipients, Managers, Listeners, Commands };

struct TargetFamilyInfo {
    TargetFamily family;
    std::string_view caption;  // the page's tab
    std::vector<std::string> CTarvellDoc::*field;
    std::string_view inputLabel;
    std::string_view addButton;
    bool ipInput;  // an IPv4 address control rather than an edit
    std::string_view column;
    std::string_view emptyMessage;
    std::string_view removeLink;
    std::string_view testLink;
    int controlCode;
    bool splitAtLast;
};
const TargetFamilyInfo& FamilyInfo(TargetFamily family);

// A page's working copy: the rows in order and the filter list of each target that has one.
class TargetList {
public:
    void Load(const std::vector<std::string>& entries, bool splitAtLast);
    std::vector<std::string> Entries() const;

    int Count() const { return static_cast<int>(rows_.size()); }
    const std::string& Target(int row) const { return rows_.at(static_cast<std::size_t>(row)); }
    // Exact text ignoring case (ASCII letters), as the list's own search.
    bool Contains(std::string_view target) const;
    // Appends the row; false (nothing changed) when it is already listed.
    bool Add(const std::string& target);
    // Removing a row forgets its target's filters, so adding it again starts without any.
    void Remove(int row);
    const std::string& Filters(const std::string& target) const;
    bool HasFilters(int row) const { return !Filters(Target(row)).empty(); }
    // An empty list removes the target's entry.
    void SetFilters(const std::string& target, const std::string& list);

private:
    std::vector<std::string> rows_;
    std::map<std::string, std::string> filters_;
};

enum class TestStep { AskApply, NoTargets, Send };
// Pending Apply first, then an empty list, else the code goes out.
TestStep TestDecision(bool applyPending, int rowCount);

inline constexpr std::int64_t kHandOverWaitMs = 30'000;
inline constexpr std::int64_t kHandOverPollMs = 250;
// Sends the test code once the service has taken the applied settings over: while
// `handOverFile` exists it waits (at most `limitMs`) until it is gone. Returns the message:
// sent, failed, or not taken over yet (nothing sent). Blocks: run it off the GUI thread.
unsigned SendTargetTest(ServiceControl& service, int code, const std::string& handOverFile,
                        Clock& clock, std::int64_t limitMs = kHandOverWaitMs);

}  // namespace tarvell
