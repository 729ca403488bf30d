#include "viewer/core/protection/DetectionPages.h"

#include <charconv>

#include "shared/SettingRanges.h"

namespace tarvell {
namespace {

using Flag = std::int32_t CTarvellDoc::*;
using List = std::vector<std::string> CTarvellDoc::*;

struct FlagField {
    Flag flag;
    List devices;
};

constexpr std::array<FlagField, NewNodesPage::kSubs> kNewFields{{
    {&CTarvellDoc::NewMacEnabled, &CTarvellDoc::NewMacDevices},
    {&CTarvellDoc::NewIpEnabled, &CTarvellDoc::NewIpDevices},
    {&CTarvellDoc::NewNameEnabled, &CTarvellDoc::NewNameDevices},
    {&CTarvellDoc::NewUserEnabled, &CTarvellDoc::NewUserDevices},
}};
constexpr std::array<FlagField, ChangedNodesPage::kSubs> kChangedFields{{
    {&CTarvellDoc::ChangedIpEnabled, &CTarvellDoc::ChangedIpDevices},
    {&CTarvellDoc::ChangedNameEnabled, &CTarvellDoc::ChangedNameDevices},
    {&CTarvellDoc::ChangedUserEnabled, &CTarvellDoc::ChangedUserDevices},
    {&CTarvellDoc::ChangedPortEnabled, &CTarvellDoc::ChangedPortDevices},
}};
constexpr std::array<FlagField, UnauthorizedPage::kSubs> kUnauthorizedFields{{
    {&CTarvellDoc::BlackListEnabled, &CTarvellDoc::BlackListDevices},
    {&CTarvellDoc::WhiteListEnabled, &CTarvellDoc::WhiteListDevices},
    {&CTarvellDoc::NodesCountThreshold, &CTarvellDoc::NodesCountDevices},
}};
constexpr std::array<FlagField, ThreatsPage::kThresholds> kThreatFields{{
    {&CTarvellDoc::ReceiveThreshold, &CTarvellDoc::ReceiveDevices},
    {&CTarvellDoc::TransmitThreshold, &CTarvellDoc::TransmitDevices},
    {&CTarvellDoc::BroadcastThreshold, &CTarvellDoc::BroadcastDevices},
    {&CTarvellDoc::ErrorsThreshold, &CTarvellDoc::ErrorsDevices},
}};

// A sub-protection that is on starts with the document's list; one that is off starts empty.
SubProtection LoadSub(bool on, const std::vector<std::string>& devices) {
    SubProtection sub;
    sub.on = on;
    if (on) sub.devices = devices;
    return sub;
}

void StoreList(const SubProtection& sub, bool on, std::vector<std::string>& devices) {
    if (on) devices = sub.devices;
    else devices.clear();
}

template <std::size_t N>
void LoadFlags(const CTarvellDoc& doc, const std::array<FlagField, N>& fields, bool& master,
               std::array<SubProtection, N>& subs) {
    for (std::size_t i = 0; i < N; ++i) {
        subs[i] = LoadSub(doc.*fields[i].flag != 0, doc.*fields[i].devices);
        master = master || subs[i].on;
    }
}

template <std::size_t N>
void StoreFlags(const std::array<SubProtection, N>& subs, const std::array<FlagField, N>& fields,
                CTarvellDoc& doc) {
    for (std::size_t i = 0; i < N; ++i) {
        doc.*fields[i].flag = subs[i].on ? 1 : 0;
        StoreList(subs[i], subs[i].on, doc.*fields[i].devices);
    }
}

template <std::size_t N>
bool AnyOn(const std::array<SubProtection, N>& subs) {
    for (const auto& s : subs)
        if (s.on) return true;
    return false;
}

template <std::size_t N>
void AllOff(std::array<SubProtection, N>& subs) {
    for (auto& s : subs) s.on = false;
}

}  // namespace

std::optional<std::int32_t> ParseBoxNumber(std::string_view text) {
    if (text.empty()) return 0;
    for (char c : text)
        if (c < '0' || c > '9') return std::nullopt;
    std::int32_t value = 0;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc{} || end != text.data() + text.size()) return std::nullopt;
    return value;
}

// ---- Unauthorized

UnauthorizedPage LoadUnauthorized(const CTarvellDoc& doc) {
    UnauthorizedPage page;
    LoadFlags(doc, kUnauthorizedFields, page.master, page.subs);
    page.threshold = doc.NodesCountThreshold;
    return page;
}

void Store(const UnauthorizedPage& page, CTarvellDoc& doc) {
    StoreFlags(page.subs, kUnauthorizedFields, doc);
    const auto& count = page.subs[UnauthorizedPage::NodesCount];
    if (count.on) doc.NodesCountThreshold = page.threshold > 0 ? page.threshold : 1;
}

bool IsActive(const UnauthorizedPage& page) { return AnyOn(page.subs); }

void SetMaster(UnauthorizedPage& page, bool on) {
    page.master = on;
    AllOff(page.subs);
}

// ---- New and Changed

NewNodesPage LoadNewNodes(const CTarvellDoc& doc) {
    NewNodesPage page;
    LoadFlags(doc, kNewFields, page.master, page.subs);
    return page;
}

ChangedNodesPage LoadChangedNodes(const CTarvellDoc& doc) {
    ChangedNodesPage page;
    LoadFlags(doc, kChangedFields, page.master, page.subs);
    return page;
}

void Store(const NewNodesPage& page, CTarvellDoc& doc) { StoreFlags(page.subs, kNewFields, doc); }
void Store(const ChangedNodesPage& page, CTarvellDoc& doc) {
    StoreFlags(page.subs, kChangedFields, doc);
}
bool IsActive(const NewNodesPage& page) { return AnyOn(page.subs); }
bool IsActive(const ChangedNodesPage& page) { return AnyOn(page.subs); }

void SetMaster(NewNodesPage& page, bool on) {
    page.master = on;
    AllOff(page.subs);
}

void SetMaster(ChangedNodesPage& page, bool on) {
    page.master = on;
    AllOff(page.subs);
}

// ---- Threats

SpinRange ThresholdRange(int which) {
    if (which == ThreatsPage::Receive || which == ThreatsPage::Transmit)
        return {1, static_cast<int>(RangeOf("ReceiveThreshold").max)};
    if (which == ThreatsPage::Broadcast || which == ThreatsPage::Errors)
        return {1, static_cast<int>(RangeOf("BroadcastThreshold").max)};
    return {0, 0};
}

ThreatsPage LoadThreats(const CTarvellDoc& doc) {
    ThreatsPage page;
    for (int i = 0; i < ThreatsPage::kThresholds; ++i) {
        const std::int32_t value = doc.*kThreatFields[i].flag;
        auto& t = page.thresholds[i];
        t.sub = LoadSub(value > 0, doc.*kThreatFields[i].devices);
        if (t.sub.on) t.text = std::to_string(value);
        page.master = page.master || t.sub.on;
    }
    page.normalRate = LoadSub(doc.ThreatNormalAlerts != 0, doc.ThreatDevices);
    page.master = page.master || page.normalRate.on;
    return page;
}

void SetThreshold(ThreatsPage& page, int which, bool on) {
    if (which < 0 || which >= ThreatsPage::kThresholds) return;
    auto& t = page.thresholds[which];
    t.sub.on = on;
    t.text = on ? "1" : "";
}

int Check(const ThreatsPage& page) {
    for (const auto& t : page.thresholds)
        if (!ParseBoxNumber(t.text)) return kMsgSettingsInvalid;
    return 0;
}

void Store(const ThreatsPage& page, CTarvellDoc& doc) {
    for (int i = 0; i < ThreatsPage::kThresholds; ++i) {
        const auto& t = page.thresholds[i];
        const auto value = ParseBoxNumber(t.text);
        if (!value) continue;
        doc.*kThreatFields[i].flag = *value;
        StoreList(t.sub, *value > 0, doc.*kThreatFields[i].devices);
    }
    doc.ThreatNormalAlerts = page.normalRate.on ? 1 : 0;
    StoreList(page.normalRate, page.normalRate.on, doc.ThreatDevices);
}

bool IsActive(const ThreatsPage& page) {
    for (const auto& t : page.thresholds) {
        const auto value = ParseBoxNumber(t.text);
        if (value && *value > 0) return true;
    }
    return page.normalRate.on;
}

void SetMaster(ThreatsPage& page, bool on) {
    page.master = on;
    for (int i = 0; i < ThreatsPage::kThresholds; ++i) SetThreshold(page, i, false);
    page.normalRate.on = false;
}

// ---- Script

ScriptPage LoadScript(const CTarvellDoc& doc) {
    ScriptPage page;
    if (doc.LinkupScriptFile.empty()) return page;
    page.master = true;
    page.sub = LoadSub(true, doc.LinkupScriptDevices);
    page.file = doc.LinkupScriptFile;
    page.logon = doc.LinkupScriptLogon;
    return page;
}

int Check(const ScriptPage& page, bool serviceUserAccount) {
    if (!page.sub.on) return 0;
    if (page.file.empty()) return kMsgSettingsInvalid;
    if (!serviceUserAccount && page.logon.empty()) return kMsgLogonRequired;
    return 0;
}

void Store(const ScriptPage& page, CTarvellDoc& doc) {
    if (!page.file.empty()) {
        doc.LinkupScriptFile = page.file;
        doc.LinkupScriptLogon = page.logon;
        doc.LinkupScriptDevices = page.sub.devices;
    } else {
        doc.LinkupScriptFile.clear();
        doc.LinkupScriptLogon.clear();
        doc.LinkupScriptDevices.clear();
    }
}

bool IsActive(const ScriptPage& page) { return !page.file.empty(); }

void SetMaster(ScriptPage& page, bool on) {
    page.master = on;
    page.sub.on = false;
    page.file.clear();
}

}  // namespace tarvell
