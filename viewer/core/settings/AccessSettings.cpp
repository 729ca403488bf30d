#include "viewer/core/settings/AccessSettings.h"

#include <algorithm>
#include <cctype>

#include "viewer/core/hub/MachineIdentity.h"
#include "viewer/core/base/AddressText.h"
#include "viewer/core/base/StringTable.h"

namespace tarvell {

namespace {

bool SameNoCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

std::string WithoutSeparators(std::string_view text) {
    std::string out;
    for (char c : text)
        if (c != '@' && c != '/' && c != ';') out += c;
    return out;
}

// Line breaks as CR LF, whatever the edit gave.
std::string WithCrLf(std::string_view text) {
    std::string out;
    for (char c : text) {
        if (c == '\r') continue;
        if (c == '\n') out += '\r';
        out += c;
    }
    return out;
}

const std::string_view kAccessPermission = LoadString(str::kPermAccessSettings);

}  // namespace

// ---- The entry codec

std::string IdentityOf(std::string_view entry) {
    const std::string_view account = entry.substr(0, entry.find(';'));
    return std::string(account.substr(0, account.find('/')));
}

std::string DescriptionOf(std::string_view entry) {
    const std::string_view account = entry.substr(0, entry.find(';'));
    const std::size_t slash = account.find('/');
    return slash == std::string_view::npos ? std::string() : std::string(account.substr(slash + 1));
}

std::string PermissionPart(std::string_view entry) {
    const std::size_t semi = entry.find(';');
    return semi == std::string_view::npos ? std::string() : std::string(entry.substr(semi + 1));
}

bool HoldsPermission(std::string_view permissions, std::string_view permission) {
    while (!permissions.empty()) {
        const std::size_t semi = permissions.find(';');
        if (semi == std::string_view::npos) return false;  // a text without its ";"
        if (permissions.substr(0, semi) == permission) return true;
        permissions.remove_prefix(semi + 1);
    }
    return false;
}

std::string GuestEntry() {
    std::string entry = std::string(LoadString(str::kGuestAccount)) + ";";
    for (const PermissionItem& item : PermissionItems())
        if (item.parent >= 0) entry += std::string(LoadString(item.text)) + ";";
    return entry;
}

std::string NewUserPermissions() {
    static constexpr unsigned kDefaults[] = {
        str::kPermStartService,      str::kPermStopService,        str::kPermDetectionMonitor,
        str::kPermPreventionMonitor, str::kPermIntrusionDetection, str::kPermIntrusionPrevention,
        str::kPermDetectionAlerts,   str::kPermProtectionAlerts,   str::kPermAccessSettings,
        str::kPermSnmpSettings,      str::kPermDevicesSettings,    str::kPermNodesSettings,
        str::kPermAlertsSettings};
    std::string out;
    for (unsigned id : kDefaults) out += std::string(LoadString(id)) + ";";
    return out;
}

ViewerUsers UsersToShow(const ViewerUsers& stored) {
    return stored.empty() ? ViewerUsers{GuestEntry()} : stored;
}

std::optional<std::size_t> FindUser(const ViewerUsers& users, std::string_view identity) {
    for (std::size_t i = 0; i < users.size(); ++i)
        if (IdentityOf(users[i]) == identity) return i;
    return std::nullopt;
}

// ---- The General page

std::string QualifierOf(const UserForm& form) {
    switch (form.kind) {
        case QualifierKind::Domain: return WithoutSeparators(form.domain);
        case QualifierKind::Computer: return WithoutSeparators(form.computer);
        case QualifierKind::Ip: return WithoutSeparators(form.ip);
        case QualifierKind::Mac: return WithoutSeparators(form.mac);
        case QualifierKind::None: break;
    }
    return {};
}

std::string IdentityOf(const UserForm& form) {
    const std::string qualifier = QualifierOf(form);
    return qualifier.empty() ? form.name : form.name + "@" + qualifier;
}

unsigned CheckUser(const UserForm& form, const ViewerUsers& users) {
    if (form.name.empty()) return str::kUserEmpty;
    const bool onlyDotsAndBlanks = form.name.find_first_not_of(". ") == std::string::npos;
    if (onlyDotsAndBlanks || form.name.find_first_of("\\/\"[]:|<>+=;,?*@") != std::string::npos)
        return str::kUserInvalid;
    if (form.kind == QualifierKind::Ip) {
        const auto octets = ParseDottedIpv4(form.ip);
        if (!octets || *octets == Ipv4Octets{255, 255, 255, 255}) return str::kComputerInvalid;
    }
    if (form.kind == QualifierKind::Mac) {
        // Twelve digits: a shorter address never equals a machine's hardware address.
        const bool hex = form.mac.size() == static_cast<std::size_t>(kMacChars) &&
                         std::all_of(form.mac.begin(), form.mac.end(), [](char c) {
                             return std::isxdigit(static_cast<unsigned char>(c)) != 0;
                         });
        if (!hex || form.mac.find_first_not_of('0') == std::string::npos)
            return str::kComputerInvalid;
    }
    const std::string identity = IdentityOf(form);
    for (const std::string& entry : users)
        if (SameNoCase(IdentityOf(entry), identity)) return str::kUserExists;
    return 0;
}

void AddUser(ViewerUsers& users, const UserForm& form) {
    users.push_back(IdentityOf(form) + "/" + WithCrLf(WithoutSeparators(form.description)) + ";" +
                    NewUserPermissions());
}

// ---- The permission tree

const std::array<PermissionItem, kPermissionItems>& PermissionItems() {
    static const std::array<PermissionItem, kPermissionItems> items = {{
        {str::kPermServiceGroup, -1},       {str::kPermStartService, 0},
        {str::kPermStopService, 0},         {str::kPermMonitorGroup, -1},
        {str::kPermDetectionMonitor, 3},    {str::kPermDetectionBlock, 4},
        {str::kPermDetectionDetails, 4},    {str::kPermDetectionInformation, 4},
        {str::kPermDetectionRemove, 4},     {str::kPermDetectionAbout, 4},
        {str::kPermPreventionMonitor, 3},   {str::kPermPreventionUnblock, 10},
        {str::kPermPreventionDetails, 10},  {str::kPermPreventionInformation, 10},
        {str::kPermPreventionAbout, 10},    {str::kPermProtectionGroup, -1},
        {str::kPermIntrusionDetection, 15}, {str::kPermIntrusionPrevention, 15},
        {str::kPermAlertsGroup, -1},        {str::kPermDetectionAlerts, 18},
        {str::kPermProtectionAlerts, 18},   {str::kPermSettingsGroup, -1},
        {str::kPermAccessSettings, 21},     {str::kPermSnmpSettings, 21},
        {str::kPermDevicesSettings, 21},    {str::kPermNodesSettings, 21},
        {str::kPermAlertsSettings, 21},
    }};
    return items;
}

std::string_view PermissionText(std::size_t item) {
    return LoadString(PermissionItems()[item].text);
}

std::size_t AccessSettingsItem() { return 22; }

bool PermissionTree::HasChildren(std::size_t item) const {
    for (const PermissionItem& p : PermissionItems())
        if (p.parent == static_cast<int>(item)) return true;
    return false;
}

void PermissionTree::Load(const std::string* entry) {
    const std::string permissions = entry ? PermissionPart(*entry) : std::string();
    for (std::size_t i = 0; i < kPermissionItems; ++i)
        checked_[i] = !entry || HoldsPermission(permissions, PermissionText(i));
    // A parent is judged before its own children are; one that the entry names stays checked,
    // so "Detection Monitor" of a new user's defaults survives the page's OK.
    for (std::size_t i = 0; i < kPermissionItems; ++i) {
        if (!HasChildren(i)) continue;
        bool child = false;
        for (std::size_t c = 0; c < kPermissionItems; ++c)
            child = child || (PermissionItems()[c].parent == static_cast<int>(i) && checked_[c]);
        checked_[i] = checked_[i] || child;
        expanded_[i] = checked_[i];
    }
}

void PermissionTree::Click(std::size_t item, bool on) {
    if (item >= kPermissionItems) return;
    checked_[item] = on;
    if (!HasChildren(item)) return;
    for (std::size_t c = 0; c < kPermissionItems; ++c)
        if (PermissionItems()[c].parent == static_cast<int>(item)) checked_[c] = on;
    expanded_[item] = on;
}

void PermissionTree::CheckAll() {
    for (std::size_t i = 0; i < kPermissionItems; ++i) {
        checked_[i] = true;
        expanded_[i] = HasChildren(i);
    }
}

void PermissionTree::UncheckAll() {
    checked_.fill(false);
    expanded_.fill(false);
}

std::string PermissionTree::PermissionString() const {
    std::string out;
    for (std::size_t i = 0; i < kPermissionItems; ++i)
        if (checked_[i]) out += std::string(PermissionText(i)) + ";";
    return out;
}

bool AccessKept(const ViewerUsers& users, std::string_view identity, bool accessChecked) {
    if (accessChecked) return true;
    const auto self = FindUser(users, identity);
    for (std::size_t i = 0; i < users.size(); ++i)
        if (i != self && HoldsPermission(PermissionPart(users[i]), kAccessPermission)) return true;
    return false;
}

bool StorePermissions(ViewerUsers& users, std::string_view identity,
                      const std::string& permissions) {
    const auto found = FindUser(users, identity);
    if (!found) return false;
    std::string& entry = users[*found];
    const std::size_t semi = entry.find(';');
    entry = (semi == std::string::npos ? entry : entry.substr(0, semi)) + ";" + permissions;
    return true;
}

unsigned DeleteUser(ViewerUsers& users, std::string_view identity) {
    const auto found = FindUser(users, identity);
    if (!found) return 0;
    const bool holder = HoldsPermission(PermissionPart(users[*found]), kAccessPermission);
    if (holder && users.size() > 1 && !AccessKept(users, identity, false))
        return str::kAccessHolderNeeded;
    users.erase(users.begin() + static_cast<std::ptrdiff_t>(*found));
    return 0;
}

// ---- Browse

std::vector<std::string> HostChoices(bool domain, const MachineIdentity& identity,
                                     const std::vector<std::string>& serverFolders) {
    std::vector<std::string> out;
    auto add = [&out](const std::string& name) {
        if (name.empty()) return;
        for (const std::string& have : out)
            if (SameNoCase(have, name)) return;
        out.push_back(name);
    };
    if (domain) {
        add(identity.DomainName);
        return out;
    }
    add(identity.ComputerName);
    add(identity.HostName);
    for (const std::string& folder : serverFolders) {
        if (folder.size() > 2 && (folder.starts_with("//") || folder.starts_with("\\\\"))) {
            add(folder.substr(2, folder.find_first_of("/\\", 2) - 2));
        } else if (const std::size_t colon = folder.find(":/");
                   colon != std::string::npos && colon > 1) {
            add(folder.substr(0, colon));  // a remote mount's "host:/path"
        }
    }
    return out;
}

}  // namespace tarvell
