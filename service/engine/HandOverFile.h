// Who may leave settings for the service in the hand-over folder. The folder is shared with the
// viewer's administrators (group tarvell-admin, mode 2770); a file there is taken over only when
// its owner is root or one of them and nobody else can write it.
#pragma once

#include <sys/stat.h>
#include <sys/types.h>

#include <string>

namespace tarvell {

inline constexpr const char* kHandOverGroup = "tarvell-admin";

// Root, or a user whose primary group is `group` or who is listed among its members. When the
// group does not exist only root is trusted.
bool IsHandOverOwnerTrusted(uid_t owner, const std::string& group = kHandOverGroup);

// A regular file, owned by a trusted user, writable by nobody else but members of `group`
// (not by others, nor by any other group). On refusal
// `why` (when given) says why, for the log.
bool IsHandOverFileAcceptable(const struct stat& st, const std::string& group = kHandOverGroup,
                              std::string* why = nullptr);

}  // namespace tarvell
