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
// What an earlier version let others leave in them is dealt with before anything is written
// there: whatever stands at a name the service's writers use beside a state file and is not the
// service's own (a link, a folder, another user's file) is removed or, a folder, moved aside;
// every entry of the hand-over folder but the settings file that the hand-over rule refuses is
// moved aside. Then the files in the service folder that others or the group could write, or
// that belong to another user, are replaced by closed copies in the folder's group; one that
// cannot be replaced is moved aside so that the service does not read it. Nothing is made or
// changed when all is as it should be, so a second run reports nothing. The group is only ever
// made on this machine itself (TARVELL_ROOT "/"), as root; under a test root an existing group
// is used and a missing one left alone.
#pragma once

#include <functional>
#include <string>
#include <string_view>
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
    // Files others may still change that could neither be replaced nor moved aside: the
    // service must not start on them.
    std::vector<std::string> stillOpen;
};

PreparationReport PrepareInstallation(const InstallationLayout& layout);

// Brings the regular files directly in `folder` to what the folder asks of a new file (see
// ModeInFolder; with the set-group-ID bit, the folder's group too; as root, root as the owner),
// and closes them to writes of the group: only the service writes there. Tighter modes stay. A
// file that falls short is replaced by a copy that meets it, renamed over its name, so that a
// descriptor opened while the file was open to others reaches nothing the service reads.
// Symbolic links are left alone, and a folder that is a link is not entered.
struct ConformedFiles {
    struct Failure {
        std::string name, why;
        unsigned mode;  // the one asked of it
    };
    std::vector<std::string> replaced;  // names, in the folder's order
    std::vector<Failure> failed;
};
ConformedFiles ConformFolderFiles(const std::string& folder);

// The names the service's writers make beside a file of the service folder and remove again:
// "<name>.tmp" of the settings file, a state file, the boot counter, the alert channels' mark,
// the used action links or a daily archive, and the settings file's "Tarvell.ini.new-XXXXXX" of
// a first start. A writer killed meanwhile leaves one behind.
bool IsOwnTemporaryName(std::string_view name);
// "<name>.bad-<seconds>[-<n>]" of one of those files: a copy MoveAside kept.
bool IsKeptAsideName(std::string_view name);

}  // namespace tarvell
