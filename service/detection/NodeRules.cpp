#include "service/detection/NodeRules.h"

#include "platform/Text.h"

namespace tarvell {

namespace {

constexpr std::int64_t kOneDaySeconds = 24 * 60 * 60;

void NewRule(bool on, const char* type, const std::string& now, const std::string& previous,
             std::vector<NodeFinding>& out) {
    if (on && !now.empty() && previous.empty()) out.push_back({type, now, ""});
}

void ChangedRule(bool on, const char* type, const std::string& now, const std::string& previous,
                 std::vector<NodeFinding>& out) {
    if (on && !now.empty() && !previous.empty() && now != previous)
        out.push_back({type, now, previous});
}

}  // namespace

std::string CutRemark(std::string_view ip) { return std::string(ip.substr(0, ip.find('('))); }

bool SeenForLessThanADay(std::string_view firstSeen, std::string_view lastSeen) {
    const std::int64_t first = AtoL(firstSeen);
    const std::int64_t last = AtoL(lastSeen);
    // Wide enough for any two saturated times.
    return static_cast<__int128>(last) - first < kOneDaySeconds;
}

std::vector<NodeFinding> CompareNodes(const CDbItem& now, const CDbItem& previous,
                                      const NodeRuleSwitches& on) {
    std::vector<NodeFinding> out;
    NewRule(on.newIp, "New Ip", now.NodeIp(), previous.NodeIp(), out);
    NewRule(on.newName, "New Name", now.NodeName(), previous.NodeName(), out);
    NewRule(on.newUser, "New User", now.NodeUser(), previous.NodeUser(), out);
    ChangedRule(on.changedIp, "Changed Ip", now.NodeIp(), previous.NodeIp(), out);
    ChangedRule(on.changedName, "Changed Name", now.NodeName(), previous.NodeName(), out);
    ChangedRule(on.changedUser, "Changed User", now.NodeUser(), previous.NodeUser(), out);
    if (on.changedPort && AtoL(now.NodesOnPort()) == 1 && !previous.NodeSwitch().empty() &&
        !previous.NodePort().empty() &&
        (now.NodeSwitch() != previous.NodeSwitch() || now.NodePort() != previous.NodePort())) {
        out.push_back({"Changed Port", now.NodeSwitch() + "/" + now.NodePort(),
                       previous.NodeSwitch() + "/" + previous.NodePort()});
    }
    return out;
}

BlackListReading ReadBlackListVerdict(const std::string& verdict) {
    BlackListReading r;
    if (verdict.empty()) return r;
    auto [matched, code] = SplitFirst(verdict, '/');
    const std::int64_t value = AtoL(code);
    r.kind = BlackListReading::Kind::Reported;
    if (!matched.empty() && value == 1) r.kind = BlackListReading::Kind::Blacklist;
    else if (!matched.empty() && value != -1) r.kind = BlackListReading::Kind::Unauthorized;
    r.matched = std::move(matched);
    return r;
}

}  // namespace tarvell
