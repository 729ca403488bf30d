// The parts of the node rules of a detection pass that need no engine: the New and Changed rules
// that compare a node record with the previous pass's copy of the same node, the freshness test
// of "New Mac", the black-list verdict's reading, and the address text as lists and events use
// it. The detection thread (CScanDatabase) walks the nodes, asks the engine its look-ups and
// records what these functions find.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "shared/CDbItem.h"

namespace tarvell {

// A node event found by a rule: its type, current and before texts.
struct NodeFinding {
    std::string type;
    std::string current;
    std::string before;

    bool operator==(const NodeFinding&) const = default;
};

// The switches of the New and Changed rules (the settings of the same names).
struct NodeRuleSwitches {
    bool newIp = false, newName = false, newUser = false;
    bool changedIp = false, changedName = false, changedUser = false, changedPort = false;
};

// The node's address text up to its first "(" (a remark the sibling product appends); a blank
// before the "(" stays.
std::string CutRemark(std::string_view ip);

// A node first met on a monitored port is new when it was first seen less than one day before it
// was last seen (times are "%ld" seconds; texts that are no number read as 0).
bool SeenForLessThanADay(std::string_view firstSeen, std::string_view lastSeen);

// The New and Changed rules of a node N against P, the same node's record of the previous pass,
// in the order New Ip, New Name, New User, Changed Ip, Changed Name, Changed User, Changed Port.
// Texts are compared whole and exactly; each rule that is on decides alone. A rule's device
// selection is the caller's test.
//   New X:      N's X non-empty, P's empty; current N's X, before empty.
//   Changed X:  both non-empty and different; current N's, before P's.
//   Changed Port: N's nodes-on-port count reads 1, P's switch and port keys are non-empty, and N's
//   switch or port key differs; current and before "<switch key>/<port key>".
std::vector<NodeFinding> CompareNodes(const CDbItem& now, const CDbItem& previous,
                                      const NodeRuleSwitches& on);

// The black-list verdict "<matched text>/<code>" read: Blacklist (code 1), Unauthorized (any
// other code but -1), Reported (code -1: the port is already reported), or None (empty verdict).
// Any non-empty verdict ends the node's pass.
struct BlackListReading {
    enum class Kind { None, Blacklist, Unauthorized, Reported };
    Kind kind = Kind::None;
    std::string matched;
};
BlackListReading ReadBlackListVerdict(const std::string& verdict);

}  // namespace tarvell
