// The linkup WMI conditions without a display: the nine property codes, the stored form
// "<code>;<v1>|<v2>|...", the property dialog's value list, and the page's state with its checks.
//
// An entry the page cannot read (no ";", or a code other than a single digit 0..8) is kept as
// typed and written back unchanged. A value may not hold "|" (the service splits alternatives
// there) nor a line break (one entry is one line).
#pragma once

#include <array>
#include <string>
#include <string_view>
#include <vector>

#include "shared/CTarvellDoc.h"

namespace tarvell {

inline constexpr int kWmiCodes = 9;

struct WmiProperty {
    std::string_view name;         // "Hot Fix"
    std::string_view description;  // shown in the properties dialog
};
const std::array<WmiProperty, kWmiCodes>& WmiProperties();
// The name of a code; empty outside 0..8.
std::string_view WmiPropertyName(int code);
// The code of a typed name, ignoring ASCII case and surrounding blanks; -1 for any other name.
int WmiCodeOfName(std::string_view name);

// One row of the page's conditions list. Named apart from the service's parsed condition
// (service/linkup/LinkupRules.h): both live in one namespace and are linked into one test program.
struct WmiConditionRow {
    int code = -1;       // -1: unreadable, `raw` holds the entry
    std::string values;  // joined with "|"
    std::string raw;
    bool operator==(const WmiConditionRow&) const = default;
};
WmiConditionRow ParseWmiRow(std::string_view entry);
std::string FormatWmiRow(const WmiConditionRow& condition);
// The list's columns: the code's name (empty when unreadable) and the values (the whole entry
// when unreadable).
std::string WmiRowProperty(const WmiConditionRow& condition);
std::string WmiRowValue(const WmiConditionRow& condition);

// Cut at each "|": an empty part between two separators is an empty value; nothing follows a
// final separator.
std::vector<std::string> SplitWmiValues(std::string_view joined);
// Joined with "|", a separator put only when the text built so far is not empty.
std::string JoinWmiValues(const std::vector<std::string>& values);
// 0, or 20021 for a value holding "|", CR or LF.
int CheckWmiValue(std::string_view value);
// Puts a value into an ascending (byte-wise) list at its place.
void InsertWmiValue(std::vector<std::string>& values, std::string value);

// The properties dialog's OK: the typed name matched to its code and the values joined.
// 20021 (and `out` untouched) for an unknown name or a bad value.
int MakeWmiCondition(std::string_view typedName, const std::vector<std::string>& values,
                     WmiConditionRow& out);

struct WmiPage {
    bool master = false;
    int nodesMode = -1;  // radio: 0 all nodes, 1 only nodes with WMI, -1 neither
    std::vector<WmiConditionRow> rows;
    std::string logon;
    std::vector<std::string> devices;
};
WmiPage LoadWmi(const CTarvellDoc& doc);
// Master ticked: first radio chosen. Unticked: no radio, no rows (logon and devices stay).
void SetMaster(WmiPage& page, bool on);
// 20021 when ticked with no rows; 20034 when ticked, the service not under a user account and no
// logon; else 0.
int Check(const WmiPage& page, bool serviceUserAccount);
// Conditions in row order; WmiNodesMode left as it was with no radio; no rows empties WmiDevices.
void Store(const WmiPage& page, CTarvellDoc& doc);
bool IsActive(const WmiPage& page);
// Sorts the rows by a column (0 property, 1 value) comparing at most 259 bytes, unsigned.
void SortWmiRows(std::vector<WmiConditionRow>& rows, int column, bool ascending);

}  // namespace tarvell
