// The settings file an administrator's viewer leaves for the service in the hand-over folder,
// and who may leave one there. The folder is shared with the administrators (group
// tarvell-admin, mode 2770). The service takes a file there over, and the viewer shows it as the
// settings about to be in force, only when it passes IsHandOverFileAcceptable: a regular file
// owned by root or one of them and writable by nobody else. Both programs decide by that one
// rule, so the viewer never shows, nor saves again as its user's own, a file the service refuses.
#pragma once

#include <sys/stat.h>
#include <sys/types.h>

#include <string>

#include "platform/Clock.h"
#include "shared/CTarvellDoc.h"

namespace tarvell {

inline constexpr const char* kHandOverGroup = "tarvell-admin";

// Root, or a user who belongs to `group` now (primary group or listed member). When the group
// does not exist only root is trusted.
bool IsHandOverOwnerTrusted(uid_t owner, const std::string& group = kHandOverGroup);

// A regular file, owned by a trusted user, writable by nobody else but members of `group`
// (not by others, nor by any other group). On refusal `why` (when given) says why, for the log.
// Takes the status of the opened file, so that what was checked is what is read.
bool IsHandOverFileAcceptable(const struct stat& st, const std::string& group = kHandOverGroup,
                              std::string* why = nullptr);

// Loads the hand-over file at `path` into `into` when IsHandOverFileAcceptable accepts it; a
// link is not followed. DocStatus::Missing when there is none, DocStatus::Refused (the reason in
// the message) for a link, a FIFO or any other file the rule refuses; otherwise as
// CTarvellDoc::LoadFromFile.
DocResult LoadHandOverFile(const std::string& path, const std::string& group, CTarvellDoc& into,
                           Clock& clock = DefaultClock());

}  // namespace tarvell
