#include "viewer/core/protection/WmiConditions.h"

#include <algorithm>

#include "viewer/core/protection/DetectionPages.h"

namespace tarvell {
namespace {

constexpr std::array<WmiProperty, kWmiCodes> kProperties{{
    {"Operating System", "Version number of the operating system.\n\nExample: 4.0"},
    {"Service Pack",
     "Major version number of the service pack installed on the computer system. If no service "
     "pack has been installed, the value is 0 (zero).\n\nExample: 3"},
    {"Computer Domain",
     "Name of the domain to which a computer belongs. If the computer is not part of a domain, "
     "then the name of the workgroup is returned.\n\nExample: Workgroup"},
    {"Hot Fix", "Unique identifier associated with a particular update.\n\nExample: KB955839"},
    {"Service Name",
     "Unique identifier of the service that provides an indication of the functionality that is "
     "managed.\n\nExample: Browser"},
    {"Process Name",
     "Unique identifier of the process that provides the name that is managed.\n\nExample: "
     "winlogon.exe"},
    {"Program Name",
     "Unique identifier of installed program and optional version number.\n\nExample: Windows "
     "Defender:1.1.1593.0"},
    {"Registry String",
     "String data value of a named registry key.\n\nExample: "
     "HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\ProductId:00000-000-"
     "0000000-00000"},
    {"Registry DWORD",
     "Numeric data value of a named registry key.\n\nExample: "
     "HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\Current "
     "version\\SM_ConfigureProgramsExisted:1"},
}};

char Lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

std::string_view Trim(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
    return s;
}

bool LessBytes(std::string_view a, std::string_view b) {
    a = a.substr(0, std::min<std::size_t>(a.size(), 259));
    b = b.substr(0, std::min<std::size_t>(b.size(), 259));
    return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        return static_cast<unsigned char>(x) < static_cast<unsigned char>(y);
    });
}

}  // namespace

const std::array<WmiProperty, kWmiCodes>& WmiProperties() { return kProperties; }

std::string_view WmiPropertyName(int code) {
    return code >= 0 && code < kWmiCodes ? kProperties[code].name : std::string_view{};
}

int WmiCodeOfName(std::string_view name) {
    name = Trim(name);
    for (int code = 0; code < kWmiCodes; ++code) {
        const auto known = kProperties[code].name;
        if (known.size() == name.size() &&
            std::equal(known.begin(), known.end(), name.begin(),
                       [](char a, char b) { return Lower(a) == Lower(b); }))
            return code;
    }
    return -1;
}

WmiConditionRow ParseWmiRow(std::string_view entry) {
    WmiConditionRow c;
    const auto semi = entry.find(';');
    if (semi == 1 && entry[0] >= '0' && entry[0] < '0' + kWmiCodes) {
        c.code = entry[0] - '0';
        c.values = std::string(entry.substr(2));
    } else {
        c.raw = std::string(entry);
    }
    return c;
}

std::string FormatWmiRow(const WmiConditionRow& condition) {
    if (condition.code < 0 || condition.code >= kWmiCodes) return condition.raw;
    return std::to_string(condition.code) + ";" + condition.values;
}

std::string WmiRowProperty(const WmiConditionRow& condition) {
    return std::string(WmiPropertyName(condition.code));
}

std::string WmiRowValue(const WmiConditionRow& condition) {
    return condition.code < 0 ? condition.raw : condition.values;
}

std::vector<std::string> SplitWmiValues(std::string_view joined) {
    std::vector<std::string> parts;
    while (!joined.empty()) {
        const auto bar = joined.find('|');
        parts.emplace_back(joined.substr(0, bar));
        if (bar == std::string_view::npos) break;
        joined.remove_prefix(bar + 1);
    }
    return parts;
}

std::string JoinWmiValues(const std::vector<std::string>& values) {
    std::string out;
    for (const auto& v : values) {
        if (!out.empty()) out += '|';
        out += v;
    }
    return out;
}

int CheckWmiValue(std::string_view value) {
    return value.find_first_of("|\r\n") == std::string_view::npos ? 0 : kMsgSettingsInvalid;
}

void InsertWmiValue(std::vector<std::string>& values, std::string value) {
    const auto at = std::upper_bound(
        values.begin(), values.end(), value,
        [](const std::string& a, const std::string& b) { return LessBytes(a, b); });
    values.insert(at, std::move(value));
}

int MakeWmiCondition(std::string_view typedName, const std::vector<std::string>& values,
                     WmiConditionRow& out) {
    const int code = WmiCodeOfName(typedName);
    if (code < 0) return kMsgSettingsInvalid;
    for (const auto& v : values)
        if (CheckWmiValue(v) != 0) return kMsgSettingsInvalid;
    out = WmiConditionRow{code, JoinWmiValues(values), {}};
    return 0;
}

WmiPage LoadWmi(const CTarvellDoc& doc) {
    WmiPage page;
    if (doc.WmiConditions.empty()) return page;
    page.master = true;
    page.logon = doc.WmiLogon;
    page.devices = doc.WmiDevices;
    if (doc.WmiNodesMode == "0") page.nodesMode = 0;
    if (doc.WmiNodesMode == "1") page.nodesMode = 1;
    for (const auto& entry : doc.WmiConditions) page.rows.push_back(ParseWmiRow(entry));
    return page;
}

void SetMaster(WmiPage& page, bool on) {
    page.master = on;
    page.nodesMode = on ? 0 : -1;
    if (!on) page.rows.clear();
}

int Check(const WmiPage& page, bool serviceUserAccount) {
    if (!page.master) return 0;
    if (page.rows.empty()) return kMsgSettingsInvalid;
    if (!serviceUserAccount && page.logon.empty()) return kMsgLogonRequired;
    return 0;
}

void Store(const WmiPage& page, CTarvellDoc& doc) {
    doc.WmiConditions.clear();
    for (const auto& row : page.rows) doc.WmiConditions.push_back(FormatWmiRow(row));
    if (page.nodesMode == 0 || page.nodesMode == 1)
        doc.WmiNodesMode = std::to_string(page.nodesMode);
    doc.WmiLogon = page.logon;
    if (page.rows.empty()) doc.WmiDevices.clear();
    else doc.WmiDevices = page.devices;
}

bool IsActive(const WmiPage& page) { return !page.rows.empty(); }

void SortWmiRows(std::vector<WmiConditionRow>& rows, int column, bool ascending) {
    auto key = [column](const WmiConditionRow& c) {
        return column == 0 ? WmiRowProperty(c) : WmiRowValue(c);
    };
    std::stable_sort(rows.begin(), rows.end(),
                     [&](const WmiConditionRow& a, const WmiConditionRow& b) {
                         return ascending ? LessBytes(key(a), key(b)) : LessBytes(key(b), key(a));
                     });
}

}  // namespace tarvell
