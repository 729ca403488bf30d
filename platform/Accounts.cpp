#include "platform/Accounts.h"

#include <grp.h>
#include <pwd.h>

#include <algorithm>
#include <cerrno>
#include <vector>

namespace tarvell {
namespace {

constexpr std::size_t kMaxAccountBuffer = 1u << 20;
constexpr int kMaxGroups = 1 << 16;

// getgrnam_r / getpwuid_r with a buffer that grows while the entry does not fit. `call` copies
// what it needs out of the entry, which points into the buffer.
template <class Entry, class Call>
bool LookUpAccount(Call call) {
    std::vector<char> buffer(4096);
    for (;;) {
        Entry entry{};
        Entry* result = nullptr;
        const int rc = call(&entry, buffer.data(), buffer.size(), &result);
        if (rc == ERANGE && buffer.size() < kMaxAccountBuffer) {
            buffer.resize(buffer.size() * 2);
            continue;
        }
        return rc == 0 && result != nullptr;
    }
}

struct UserEntry {
    std::string name;
    gid_t gid = 0;
};

std::optional<UserEntry> FindUser(uid_t uid) {
    UserEntry user;
    const bool found = LookUpAccount<struct passwd>(
        [&](struct passwd* e, char* buf, std::size_t size, struct passwd** r) {
            const int rc = ::getpwuid_r(uid, e, buf, size, r);
            if (rc == 0 && *r) {
                user.name = e->pw_name ? e->pw_name : "";
                user.gid = e->pw_gid;
            }
            return rc;
        });
    if (!found) return std::nullopt;
    return user;
}

}  // namespace

std::optional<gid_t> FindGroupId(const std::string& name) {
    gid_t gid = 0;
    const bool found = LookUpAccount<struct group>(
        [&](struct group* e, char* buf, std::size_t size, struct group** r) {
            const int rc = ::getgrnam_r(name.c_str(), e, buf, size, r);
            if (rc == 0 && *r) gid = e->gr_gid;
            return rc;
        });
    if (!found) return std::nullopt;
    return gid;
}

std::optional<std::string> FindUserName(uid_t uid) {
    const std::optional<UserEntry> user = FindUser(uid);
    if (!user) return std::nullopt;
    return user->name;
}

std::string DescribeUser(uid_t uid) {
    const std::optional<std::string> name = FindUserName(uid);
    const std::string id = "uid " + std::to_string(uid);
    return name ? *name + " (" + id + ")" : id;
}

bool UserIsInGroup(uid_t uid, gid_t group) {
    const std::optional<UserEntry> user = FindUser(uid);
    if (!user) return false;
    if (user->gid == group) return true;
    std::vector<gid_t> groups(64);
    for (;;) {
        int n = static_cast<int>(groups.size());
        if (::getgrouplist(user->name.c_str(), user->gid, groups.data(), &n) >= 0) {
            groups.resize(static_cast<std::size_t>(n));
            break;
        }
        // Too small: n now says how many there are.
        if (n <= static_cast<int>(groups.size()) || n > kMaxGroups) return false;
        groups.resize(static_cast<std::size_t>(n));
    }
    return std::find(groups.begin(), groups.end(), group) != groups.end();
}

}  // namespace tarvell
