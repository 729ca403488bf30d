// The node lists edited by the unauthorized list and nodes count dialogs.
//   list mode  (black and white lists): entries "<node>/<origin>;<port>"; origin 1 = entered in
//              the viewer (shown and edited), anything else (origin 0 of block requests, the
//              service's "<node>;<place>" import entries) is carried through untouched;
//   count mode (nodes that do not count): entries "<node>;<port>", all shown.
// A port is empty (any port) or a port-table key "<device key>/<port index>".
#pragma once

#include <cstddef>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "shared/NodeListText.h"

namespace tarvell {

enum class NodeMode { List, Count };

std::string_view NodeModeText(NodeMode mode);  // "list", "count"

// The node of an entry shown in the mode, with its port; nullopt for an entry the mode keeps
// hidden.
struct ShownEntry {
    std::string node, port;
};
std::optional<ShownEntry> ShownNodeEntry(const std::string& entry, NodeMode mode);
std::string FormatNodeEntry(const std::string& node, const std::string& port, NodeMode mode);

// "<text before ' ('> (<rows>)".
std::string GroupCaption(const std::string& caption, std::size_t rows);

// A node the properties dialog accepts: a dotted IPv4 address, or a MAC of 12 hexadecimal
// digits, where "*" (any run, as the service matches it) may stand for some of them.
bool ValidNode(const std::string& node);

// The port-table key of a device's port: "<device key>/<index>".
std::string PortKey(const std::string& deviceKey, long index);

// The lines of an import file, places resolved against the device and port tables as the
// service resolves them. nullopt (errno set) when the file cannot be read: not a regular file,
// larger than 16 MiB, or unreadable. At most 100 000 lines are taken.
std::optional<std::vector<NodeListLine>> ReadNodeImportFile(
    const std::string& path, const std::map<std::string, std::string>& devices,
    const std::map<std::string, std::string>& ports);

// The dialog's own edits of one list: the shown nodes (node -> port) and the changes made to
// them, applied at OK to the list as reloaded then, so everything the dialog did not touch (the
// hidden entries, entries added since it opened, duplicates) stays verbatim and in place.
class NodeListEdit {
public:
    NodeListEdit(NodeMode mode, const std::vector<std::string>& entries);

    NodeMode Mode() const { return mode_; }
    const std::map<std::string, std::string>& Nodes() const { return nodes_; }
    const std::string* PortOf(const std::string& node) const;
    // Adds the node or replaces its port.
    void Put(const std::string& node, const std::string& port);
    void Remove(const std::string& node);
    void Import(const std::vector<NodeListLine>& lines);
    bool Changed() const { return !changes_.empty(); }

    // `current` with the changes: a changed node's first entry takes the new port in place (its
    // further entries go), a removed node's entries go, new nodes are appended in the order they
    // were first put.
    std::vector<std::string> Apply(const std::vector<std::string>& current) const;

private:
    NodeMode mode_;
    std::map<std::string, std::string> nodes_;
    // node -> port after the edits, nullopt when removed; order of first change.
    std::map<std::string, std::optional<std::string>> changes_;
    std::vector<std::string> changeOrder_;
    void Record(const std::string& node, std::optional<std::string> port);
};

}  // namespace tarvell
