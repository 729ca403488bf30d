// The five detection property pages without a display: each page's working state, read from a
// settings document on opening and written back on OK, with the checks its OK runs first.
//
// A page keeps one device-key list per sub-protection for the whole run of its sheet. Switching a
// sub-protection off does not clear the page's list (switching it on again brings it back); only
// the document's list is emptied when the page is stored with the sub-protection off. Store
// writes the page's own fields and no others, so a reload between opening and OK keeps what
// other screens (or the list dialogs, which save at once) changed meanwhile.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "shared/CTarvellDoc.h"

namespace tarvell {

inline constexpr int kMsgSettingsInvalid = 20021;  // "Your settings are invalid, ..."
inline constexpr int kMsgLogonRequired = 20034;    // "Logon account is required ..."

// A number box's text: empty is 0; otherwise decimal digits only, within a signed 32-bit value.
// Anything else (a sign, a space, an overflowing value) is nullopt and refused with 20021.
std::optional<std::int32_t> ParseBoxNumber(std::string_view text);

struct SubProtection {
    bool on = false;
    std::vector<std::string> devices;  // the page's list; empty = all devices
};

// ---- Unauthorized nodes (row 0)
struct UnauthorizedPage {
    enum { BlackList, WhiteList, NodesCount, kSubs };
    bool master = false;
    std::array<SubProtection, kSubs> subs;
    std::int32_t threshold =
        0;  // the nodes/port threshold, updated by the Manage Nodes Count dialog
};
UnauthorizedPage LoadUnauthorized(const CTarvellDoc& doc);
// The count ticked with a threshold of 0 is stored as 1.
void Store(const UnauthorizedPage& page, CTarvellDoc& doc);
bool IsActive(const UnauthorizedPage& page);

// ---- New nodes (row 1) and Changed nodes (row 2): four flags, each with its list
struct NewNodesPage {
    enum { Mac, Ip, Name, User, kSubs };
    bool master = false;
    std::array<SubProtection, kSubs> subs;
};
struct ChangedNodesPage {
    enum { Ip, Name, User, Port, kSubs };
    bool master = false;
    std::array<SubProtection, kSubs> subs;
};
NewNodesPage LoadNewNodes(const CTarvellDoc& doc);
ChangedNodesPage LoadChangedNodes(const CTarvellDoc& doc);
void Store(const NewNodesPage& page, CTarvellDoc& doc);
void Store(const ChangedNodesPage& page, CTarvellDoc& doc);
bool IsActive(const NewNodesPage& page);
bool IsActive(const ChangedNodesPage& page);

// ---- Threatened nodes (row 3): four thresholds typed in number boxes, and the normal rate flag
struct ThreatsPage {
    enum { Receive, Transmit, Broadcast, Errors, kThresholds };
    struct Threshold {
        SubProtection sub;
        std::string text;  // the number box
    };
    bool master = false;
    std::array<Threshold, kThresholds> thresholds;
    SubProtection normalRate;
};
struct SpinRange {
    int low = 0, high = 0;
    bool operator==(const SpinRange&) const = default;
};
// 1..99 for the percentages (receive, transmit), 1..9999 for the packet rates.
SpinRange ThresholdRange(int which);
ThreatsPage LoadThreats(const CTarvellDoc& doc);
// Ticking puts "1" in the box; unticking empties it.
void SetThreshold(ThreatsPage& page, int which, bool on);
// 0, or 20021 when a box holds text that is not a number within a signed 32-bit value.
int Check(const ThreatsPage& page);
// Each value is stored as typed (whether or not ticked); a value <= 0 empties its list.
// Call only after Check gave 0; a box that does not parse leaves its field unchanged.
void Store(const ThreatsPage& page, CTarvellDoc& doc);
bool IsActive(const ThreatsPage& page);

// ---- Linkup script (row 5)
struct ScriptPage {
    bool master = false;
    SubProtection sub;
    std::string file;
    std::string logon;
};
ScriptPage LoadScript(const CTarvellDoc& doc);
// 20021 when ticked with no file; 20034 when ticked, the service not under a user account and no
// logon; else 0.
int Check(const ScriptPage& page, bool serviceUserAccount);
void Store(const ScriptPage& page, CTarvellDoc& doc);
bool IsActive(const ScriptPage& page);

// ---- common to every page
// Master unticked: every sub-protection off (number boxes and the file box emptied); the page's
// lists stay. Master ticked: the sub-protections are enabled, each still off.
void SetMaster(UnauthorizedPage& page, bool on);
void SetMaster(NewNodesPage& page, bool on);
void SetMaster(ChangedNodesPage& page, bool on);
void SetMaster(ThreatsPage& page, bool on);
void SetMaster(ScriptPage& page, bool on);
// A sub-protection's link and own controls: shown/enabled only while the master and it are on.
inline bool SubControlsEnabled(bool master, const SubProtection& sub) { return master && sub.on; }

}  // namespace tarvell
