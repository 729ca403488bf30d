#include "viewer/core/protection/ProtectionRows.h"

#include "viewer/core/hub/CTarvellApp.h"
#include "viewer/core/summary/SummaryRules.h"

namespace tarvell {
namespace {

const std::array<ProtectionRow, kProtectionRows> kDetectionRows{{
    {"Unauthorized Nodes Detection\nDetect unauthorized nodes properties and alerts when they are "
     "trying to access "
     "the network.\n\nActivate this protection to enable unauthorized nodes detection from "
     "potential intruders list "
     "of nodes addresses.",
     "Unauthorized nodes"},
    {"New Nodes Detection\nDetect new nodes properties and alerts when they are trying to access "
     "the network.\n\n"
     "Activate this protection only after all network nodes have been learned by the system to "
     "prevent from "
     "authorized nodes to discover as potential intruders.",
     "New nodes"},
    {"Changed Nodes Detection\nDetect changed nodes properties and alerts when they are trying to "
     "access the "
     "network.\n\nActivate this protection only after all network nodes have been learned by the "
     "system to prevent "
     "from authorized nodes to discover as potential intruders.",
     "Changed nodes"},
    {"Threatened Nodes Detection\nDetect threatened nodes and alerts on excessive network transmit "
     "rate.\n\n"
     "Activate this protection to set the maximum transmit level rate threshold that will be "
     "permitted for "
     "authorized network nodes.",
     "Threatened nodes"},
    {"Linkup WMI Detection\nDetect nodes linkup and alerts when their wmi properties not equal to "
     "specific "
     "condition.\n\nActivate this protection to enforce wmi organization policy on windows nodes "
     "that trying to "
     "access the network.",
     "WMI checks"},
    {"Linkup Script Detection\nDetect nodes linkup and alerts when a network script failed running "
     "on specific "
     "computer.\n\nActivate this protection to enforce organization policy script on nodes that "
     "trying to access "
     "the network.",
     "Linkup script"},
}};

const std::array<ProtectionRow, kProtectionRows> kPreventionRows{{
    {"Real-time Alerts Prevention\nSet prevention and activation real-time alerts on network "
     "intruders that exceed "
     "specific protection.\n\nActivate this protection to enable system alerts on blocking and "
     "unblocking network "
     "intruders as a result of specific detection protection.",
     "Prevention alerts"},
    {"Notification Message Prevention\nSet prevention notification message on network intruders "
     "that exceed "
     "specific protection.\n\nActivate this protection to notify network intruders before blocking "
     "as a result of "
     "specific detection protection.",
     "Notification"},
    {"Snmp Interfaces Prevention\nSet prevention and activation methods on snmp interfaces that "
     "exceed specific "
     "protection.\n\nActivate this protection to block or unblock snmp interfaces as a result of "
     "specific detection "
     "protection.",
     "SNMP prevention"},
    {"Network Script Prevention\nSet prevention and activation script on network intruders that "
     "exceed specific "
     "protection.\n\nActivate this protection to block or unblock network intruders using remote "
     "script as a "
     "result of specific detection protection.",
     "Scripts"},
    {"Schedule Time Prevention\nSet prevention inactivity schedule on network intruders that "
     "exceed specific "
     "protection.\n\nActivate this protection to block or unblock network intruders only on "
     "specific schedule time "
     "as a result of specific detection protection.",
     "Schedule"},
    {"Automatic Unblocking Prevention\nSet automatic unblocking on network intruders that were "
     "prevented from "
     "accessing the network.\n\nActivate this protection to automatically unblock network "
     "intruders that were "
     "prevented from accessing the network as a result of specific detection protection.",
     "Automatic unblocking"},
}};

// The two answers of each detection row's information page.
struct PageAnswers {
    std::string_view first, second;
};
const std::array<PageAnswers, kProtectionRows> kDetectionAnswers{{
    {"The Unauthorized Nodes Detection notifies about unsafe nodes addresses that were discovered.",
     "The Unauthorized Nodes Detection is a notification about a node address that was marked as "
     "potential "
     "intruder. This protection detection is sent when the node is trying to access the network "
     "using the unsafe "
     "node address."},
    {"The New Nodes Detection notifies about new nodes properties that was discovered.",
     "The New Nodes Detection is a notification about a node property that was not exist before. "
     "This protection "
     "detection is sent when the node is trying to access the network using the new discovered "
     "property."},
    {"The Changed Nodes Detection notifies about changed nodes properties that was discovered.",
     "The Changed Nodes Detection is a notification about a node property that was changed. This "
     "protection "
     "detection is sent when the node is trying to access the network using the changed discovered "
     "property."},
    {"The Threatened Nodes Detection notifies about nodes network transmit rate thresholds that "
     "was discovered.",
     "The Threatened Nodes Detection is a notification about a node transmit rate threshold that "
     "was exceeded from "
     "its maximum level. This protection detection is sent when the node is trying to access the "
     "network using the "
     "specified transmit level rate."},
    {"The Linkup WMI Detection notifies about nodes that their network link activated and their "
     "wmi properties not "
     "equal to specific condition.",
     "The Linkup WMI Detection is a notification about a windows node that failed to return "
     "specific wmi "
     "condition. This protection detection is sent when a node network link is activated and it "
     "failed returning "
     "specific wmi properties that can include any organization policy enforcement rules."},
    {"The Linkup Script Detection notifies about nodes that their network link activated and "
     "failed to run "
     "specific network script.",
     "The Linkup Script Detection is a notification about a node network script that failed to run "
     "due to "
     "specific error. This protection detection is sent when a node network link is activated and "
     "it failed "
     "running a network script that can include any organization policy enforcement rules."},
}};

// The two answers of each prevention row's information page: what the service does for it.
const std::array<PageAnswers, kProtectionRows> kPreventionAnswers{{
    {"The Real-time Alerts Prevention sends alerts when network intruders are blocked and "
     "unblocked.",
     "The Real-time Alerts Prevention is an alert about a network intruder whose port was blocked "
     "or unblocked by the system or by request. The alert is sent by the alert methods that are "
     "set in the alerts settings, with the links that were chosen for the e-mail alerts."},
    {"The Notification Message Prevention notifies network intruders before they are blocked.",
     "The Notification Message Prevention is a message that is sent to the network intruder, or a "
     "notification program that is run with its computer name, before its port is blocked."},
    {"The Snmp Interfaces Prevention blocks and unblocks the switch interfaces of network "
     "intruders.",
     "The Snmp Interfaces Prevention is a change of the interface status of the switch port that a "
     "network intruder is connected to, by the standard interface status or by specific queries "
     "sent with the write community."},
    {"The Network Script Prevention runs programs that block and unblock network intruders.",
     "The Network Script Prevention is a program that is run with the device address and port of a "
     "network intruder to block it, and another program that is run the same way to unblock it."},
    {"The Schedule Time Prevention sets the times at which network intruders are not blocked.",
     "The Schedule Time Prevention is a list of inactivity times. While one of them is in effect, "
     "network intruders are detected and alerted about but their ports are not blocked."},
    {"The Automatic Unblocking Prevention unblocks network intruders after a set time.",
     "The Automatic Unblocking Prevention is an unblocking of nodes that were blocked by the "
     "system "
     "or by manual request, once the set number of minutes has passed. The node can be added to "
     "the white list or the black list as it is unblocked."},
}};

bool ValidRow(int row) { return row >= 0 && row < kProtectionRows; }

const ProtectionTable& TableOf(ProtectionSide side) {
    return side == ProtectionSide::Prevention ? PreventionProtections() : DetectionProtections();
}

std::int32_t& MasterField(ProtectionSide side, CTarvellDoc& settings) {
    return side == ProtectionSide::Prevention ? settings.PreventionEnabled
                                              : settings.DetectionEnabled;
}

}  // namespace

ProtectionSide SideOfMode(CommandId mode) {
    return mode == cmd::kIntrusionPrevention ? ProtectionSide::Prevention
                                             : ProtectionSide::Detection;
}

CommandId ModeOfSide(ProtectionSide side) {
    return side == ProtectionSide::Prevention ? cmd::kIntrusionPrevention
                                              : cmd::kIntrusionDetection;
}

const std::array<ProtectionRow, kProtectionRows>& ProtectionRowsOf(ProtectionSide side) {
    return side == ProtectionSide::Prevention ? kPreventionRows : kDetectionRows;
}

std::string_view ProtectionRowText(ProtectionSide side, int row) {
    return ValidRow(row) ? ProtectionRowsOf(side)[static_cast<std::size_t>(row)].text
                         : std::string_view();
}

bool ProtectionRowActive(ProtectionSide side, int row, const CTarvellDoc& settings) {
    if (!ValidRow(row)) return false;
    const std::string_view name = ProtectionRowsOf(side)[static_cast<std::size_t>(row)].protection;
    for (const ProtectionRule& rule : TableOf(side).rules) {
        if (rule.protection != name) continue;
        for (const ProtectionField& field : rule.fields)
            if (field.on(settings)) return true;
        return false;
    }
    return false;
}

std::array<bool, kProtectionRows> ProtectionRowsActive(ProtectionSide side,
                                                       const CTarvellDoc& settings) {
    std::array<bool, kProtectionRows> active{};
    for (int row = 0; row < kProtectionRows; ++row)
        active[static_cast<std::size_t>(row)] = ProtectionRowActive(side, row, settings);
    return active;
}

RowTextParts SplitRowText(std::string_view text) {
    const std::size_t feed = text.find('\n');
    if (feed == std::string_view::npos) return {std::string(text), {}};
    return {std::string(text.substr(0, feed)), std::string(text.substr(feed + 1))};
}

std::vector<TextRun> DetailsRuns(std::string_view rowText) {
    if (rowText.empty()) return {};
    RowTextParts parts = SplitRowText(rowText);
    return {{parts.title + "\n\nDescription: ", true}, {std::move(parts.description), false}};
}

std::string ProtectionPageHtml(ProtectionSide side, int row) {
    if (!ValidRow(row)) return {};
    const bool prevention = side == ProtectionSide::Prevention;
    const PageAnswers& answers =
        (prevention ? kPreventionAnswers : kDetectionAnswers)[static_cast<std::size_t>(row)];
    const std::string_view kind = prevention ? "Intrusion Prevention" : "Intrusion Detection";
    std::string html =
        "<style "
        "type='text/"
        "css'>body{font-size:70%;font-family:tahoma;}h1{font-size:120%;font-family:tahoma;}"
        "</style>\r\n<body><h1>";
    html += SplitRowText(ProtectionRowText(side, row)).title;
    html += "</h1>\r\n<p><b>What does this ";
    html += kind;
    html += " do?</b><br>\r\n";
    html += answers.first;
    html += "\r\n<p><b>What is this ";
    html += kind;
    html += " Protection?</b><br>";
    html += answers.second;
    html += "</p>\r\n</body>\n";
    return html;
}

int DetailsRowAfterKey(int current, ListKey key, int rowCount) {
    int next = -1;
    if (key == ListKey::Down) next = current + 1;
    else if (key == ListKey::Up && current > 0) next = current - 1;
    return next >= 0 && next < rowCount ? next : -1;
}

bool MasterSwitchOn(ProtectionSide side, const CTarvellDoc& settings) {
    return (side == ProtectionSide::Prevention ? settings.PreventionEnabled
                                               : settings.DetectionEnabled) != 0;
}

StatusTexts StatusTextsOf(bool on) {
    return on ? StatusTexts{"Active", "Deactivate"} : StatusTexts{"In-active", "Activate"};
}

EditResult ToggleMasterSwitch(CTarvellApp& app, ProtectionSide side, bool& on) {
    bool flipped = false;
    const EditResult result = EditSettings(app, [&](CTarvellDoc& doc) {
        std::int32_t& field = MasterField(side, doc);
        field = field != 0 ? 0 : 1;
        flipped = field != 0;
    });
    if (result == EditResult::Saved) on = flipped;
    else if (result == EditResult::SaveFailed) on = MasterSwitchOn(side, app.Document().Fields());
    return result;
}

std::shared_ptr<const CTarvellDoc> ShownSettings(CTarvellApp& app) {
    if (auto settings = app.ReaderSettings()) return settings;
    return std::make_shared<const CTarvellDoc>(app.Document().Fields());
}

}  // namespace tarvell
