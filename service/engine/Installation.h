// What the service needs around it on this machine, made by registration (-Service) and checked
// again at every start, so that the foreground service (-Run) works without a registration too:
// - the administrators' group tarvell-admin: its members read the service's state and hand
//   settings and requests over; nobody else does either;
// - the service folder, root:tarvell-admin 2750 (a tighter mode an administrator chose is
//   kept): the set-group-ID bit gives every file made there the group, and ModeInFolder
//   (platform/Files.h) keeps others out of each new file;
// - the hand-over folder <service folder>/handover, root:tarvell-admin 2770; something else
//   under that name (a link, a file) is moved aside to handover.bad-<seconds> first;
// - the registry store's machine folder.
// Both folders are opened without following a link and changed through their descriptors.
// Files of an earlier version in the service folder that others had rights to are replaced by
// copies without them, in the folder's group. Nothing is made or changed when all is as it
// should be, so a second run reports nothing. The group is only ever made on this machine itself
// (TARVELL_ROOT "/"), as root; under a test root an existing group is used and a missing one left
// alone.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace tarvell {

inline constexpr unsigned kServiceFolderMode = 02750;
inline constexpr unsigned kHandOverFolderMode = 02770;

struct InstallationLayout {
    std::string serviceFolder;   // empty: nothing is prepared
    std::string registryFolder;  // the machine hives; empty: left alone
    std::string group;           // the administrators' group
    bool mayMakeGroup = false;
    // Makes the group; true when it exists afterwards. nullptr: groupadd --system.
    std::function<bool(const std::string& group)> makeGroup;

    // This process's layout: TARVELL_ROOT, TARVELL_HOME and the effective user.
    static InstallationLayout FromProcess();
};

struct PreparationReport {
    std::vector<std::string> changes;   // what was made or changed, one line each
    std::vector<std::string> problems;  // what could not be done, one line each
};

PreparationReport PrepareInstallation(const InstallationLayout& layout);

// Brings the regular files directly in `folder` to what the folder asks of a new file (see
// ModeInFolder; with the set-group-ID bit, the folder's group too; as root, root as the owner).
// A file that falls short is replaced by a copy that meets it, renamed over its name, so that
// a descriptor opened while the file was open to others reaches nothing the service reads.
// Symbolic links are left alone, and a folder that is a link is not entered. Returns the names
// of the files replaced, in the folder's order; a file that could not be replaced adds a line
// to `problems`.
std::vector<std::string> ConformFolderFiles(const std::string& folder,
                                            std::vector<std::string>* problems = nullptr);

}  // namespace tarvell
