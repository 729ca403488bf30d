// Look-ups in the user and group databases (through NSS, so also directory services). They need
// no privileges: a program running as an ordinary user can answer them about any account.
// Safe to call from any thread.
#pragma once

#include <sys/types.h>

#include <optional>
#include <string>

namespace tarvell {

// The id of the group of that name, or nullopt when there is none.
std::optional<gid_t> FindGroupId(const std::string& name);
// The name of the user with that id, or nullopt when there is no such user.
std::optional<std::string> FindUserName(uid_t uid);
// The user for a log line: "name (uid N)", or "uid N" when there is no such user.
std::string DescribeUser(uid_t uid);
// Whether the user belongs to the group now, as a new login of theirs would: through their
// primary group or a membership listed in the group database. A process of theirs that still
// carries a group they were taken out of does not count. False for an unknown user.
bool UserIsInGroup(uid_t uid, gid_t group);

}  // namespace tarvell
