#include "shared/HandOverFile.h"

#include <optional>

#include "platform/Accounts.h"

namespace tarvell {

bool IsHandOverOwnerTrusted(uid_t owner, const std::string& group) {
    if (owner == 0) return true;
    const std::optional<gid_t> admins = FindGroupId(group);
    return admins && UserIsInGroup(owner, *admins);
}

bool IsHandOverFileAcceptable(const struct stat& st, const std::string& group, std::string* why) {
    const auto refuse = [&](const std::string& reason) {
        if (why) *why = reason;
        return false;
    };
    if (!S_ISREG(st.st_mode)) return refuse("not a regular file");
    if (st.st_mode & S_IWOTH) return refuse("it is writable by others");
    // Members of the file's group can write it: only the administrators' group may be that.
    if (st.st_mode & S_IWGRP) {
        const std::optional<gid_t> admins = FindGroupId(group);
        if (!admins || *admins != st.st_gid)
            return refuse("it is writable by a group other than the administrators'");
    }
    if (!IsHandOverOwnerTrusted(st.st_uid, group)) {
        return refuse("its owner " + DescribeUser(st.st_uid) +
                      " is neither root nor an administrator");
    }
    return true;
}

DocResult LoadHandOverFile(const std::string& path, const std::string& group, CTarvellDoc& into,
                           Clock& clock) {
    return into.LoadFromFile(path, clock, [&](const struct stat& st) {
        std::string why;
        return IsHandOverFileAcceptable(st, group, &why) ? std::string() : why;
    });
}

}  // namespace tarvell
