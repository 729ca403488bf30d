// The Access category without its widgets: the viewer users' entries
// (identity "/" description ";" permission ";" ...), the Guest entry and a new user's defaults,
// the General page's checks, the permission tree with its click rules, the rule that keeps one
// user able to open the Access category, and Delete. The panel and its pages work on a copy of
// the users that Save stores whole.
#pragma once

#include <array>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tarvell {

struct MachineIdentity;

using ViewerUsers = std::vector<std::string>;

// ---- The entry codec

// The part before the first "/" of the part before the first ";".
std::string IdentityOf(std::string_view entry);
// The text between the first "/" and the first ";" (empty when there is no "/" before it).
std::string DescriptionOf(std::string_view entry);
// Everything after the first ";", empty when there is none.
std::string PermissionPart(std::string_view entry);
// Whether `permissions` ("a;b;...") holds `permission` as one of its ";"-ended texts.
bool HoldsPermission(std::string_view permissions, std::string_view permission);

// The built-in Guest entry: its account text, ";" and every permission that is no group.
std::string GuestEntry();
// A new user's permissions before the Permissions page changes them, each ended by ";".
std::string NewUserPermissions();
// The users the panel shows for a stored list: the list itself, or the Guest entry alone when
// the list is empty.
ViewerUsers UsersToShow(const ViewerUsers& stored);

// The first entry whose identity is exactly `identity`, or nullopt.
std::optional<std::size_t> FindUser(const ViewerUsers& users, std::string_view identity);

// ---- The General page

enum class QualifierKind { None, Domain, Computer, Ip, Mac };

struct UserForm {
    std::string name = "Everyone";
    QualifierKind kind = QualifierKind::None;
    std::string domain, computer, ip, mac;  // the four fields; only the checked one counts
    std::string description;                // as the edit gives it (lines ended by LF)
};

inline constexpr int kMacChars = 12;

// The checked box's text without "@", "/" and ";".
std::string QualifierOf(const UserForm& form);
// The user name, and "@" and the qualifier when there is one.
std::string IdentityOf(const UserForm& form);
// The General page's checks in their order; 0 when the user may be added, else the message.
// Duplicates are found ignoring case, as the matching at start-up ignores it.
unsigned CheckUser(const UserForm& form, const ViewerUsers& users);
// Appends identity "/" description ";" and the defaults; the description loses "@", "/" and
// ";" and keeps its line breaks as CR LF.
void AddUser(ViewerUsers& users, const UserForm& form);

// ---- The permission tree

inline constexpr std::size_t kPermissionItems = 27;  // 5 groups and 22 permissions

struct PermissionItem {
    unsigned text;  // string id
    int parent;     // index of the parent item, -1 for a group
};
// The items in tree order, a parent before its children.
const std::array<PermissionItem, kPermissionItems>& PermissionItems();
std::string_view PermissionText(std::size_t item);
// Index of the "Access Settings" item.
std::size_t AccessSettingsItem();

class PermissionTree {
public:
    // Loads the entry's permissions (every item checked when `entry` is null: a user not found)
    // and then sets each parent from its direct children, in tree order.
    void Load(const std::string* entry);
    // A click on the item's box: the item and its direct children take `on`; a parent expands
    // when checked and collapses when not.
    void Click(std::size_t item, bool on);
    void CheckAll();
    void UncheckAll();
    bool Checked(std::size_t item) const { return checked_[item]; }
    bool Expanded(std::size_t item) const { return expanded_[item]; }
    bool HasChildren(std::size_t item) const;
    // The checked items' texts, each ended by ";", in tree order.
    std::string PermissionString() const;

private:
    std::array<bool, kPermissionItems> checked_{};
    std::array<bool, kPermissionItems> expanded_{};
};

// Whether the users keep someone able to open the Access category when the user `identity` holds
// `accessChecked`: that flag, or another entry's permission part naming "Access Settings".
bool AccessKept(const ViewerUsers& users, std::string_view identity, bool accessChecked);
// The Permissions page's OK: the first entry of `identity` gets `permissions` after its first
// ";". False when there is no such entry (nothing changes).
bool StorePermissions(ViewerUsers& users, std::string_view identity,
                      const std::string& permissions);
// Delete of the first entry of `identity`: 0 when removed or absent; the Access message when it
// is the last one holding "Access Settings" and others would remain (nothing changes).
unsigned DeleteUser(ViewerUsers& users, std::string_view identity);

// ---- Browse

// The names a domain or computer "Browse..." offers: this machine's domain, or its computer and
// host names and the hosts of the known servers' folders ("//host/share", "\\host\share",
// "host:/path"), each once, in that order.
std::vector<std::string> HostChoices(bool domain, const MachineIdentity& identity,
                                     const std::vector<std::string>& serverFolders);

}  // namespace tarvell
