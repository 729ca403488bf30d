#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

#include "platform/Files.h"
#include "tests/viewer/core/ViewerFixture.h"
#include "viewer/core/protection/ProtectionRows.h"
#include "viewer/core/summary/SummaryRules.h"

namespace tarvell::test {
namespace {

using Side = ProtectionSide;

// Each condition alone turns exactly its own row Active (and the overview's count agrees).
TEST(ProtectionRows, EachConditionAloneTurnsOnlyItsRowActive) {
    struct Case {
        Side side;
        int row;
        std::function<void(CTarvellDoc&)> set;
    };
    const Case cases[] = {
        {Side::Detection, 0, [](CTarvellDoc& d) { d.BlackListEnabled = 1; }},
        {Side::Detection, 0, [](CTarvellDoc& d) { d.WhiteListEnabled = 1; }},
        {Side::Detection, 0, [](CTarvellDoc& d) { d.NodesCountThreshold = 3; }},
        {Side::Detection, 1, [](CTarvellDoc& d) { d.NewUserEnabled = 1; }},
        {Side::Detection, 2, [](CTarvellDoc& d) { d.ChangedPortEnabled = 1; }},
        {Side::Detection, 3, [](CTarvellDoc& d) { d.ErrorsThreshold = 50; }},
        {Side::Detection, 3, [](CTarvellDoc& d) { d.ThreatNormalAlerts = 1; }},
        {Side::Detection, 4, [](CTarvellDoc& d) { d.WmiConditions = {"1;x"}; }},
        {Side::Detection, 5, [](CTarvellDoc& d) { d.LinkupScriptFile = "check.sh"; }},
        {Side::Prevention, 0, [](CTarvellDoc& d) { d.PreventAlertsEnabled = 1; }},
        {Side::Prevention, 1, [](CTarvellDoc& d) { d.NetSendMessage = "bye"; }},
        {Side::Prevention, 1, [](CTarvellDoc& d) { d.NotifyScriptFile = "n.sh"; }},
        {Side::Prevention, 2, [](CTarvellDoc& d) { d.SnmpPreventionEnabled = 1; }},
        {Side::Prevention, 3, [](CTarvellDoc& d) { d.UnblockScriptFile = "u.sh"; }},
        {Side::Prevention, 4, [](CTarvellDoc& d) { d.PreventionSchedule = {"1/08:00/09:00"}; }},
        {Side::Prevention, 5, [](CTarvellDoc& d) { d.UnblockAfterMinutes = 30; }},
    };
    for (const Case& c : cases) {
        CTarvellDoc doc;
        c.set(doc);
        doc.DetectionEnabled = doc.PreventionEnabled = 1;
        const auto active = ProtectionRowsActive(c.side, doc);
        for (int row = 0; row < kProtectionRows; ++row)
            EXPECT_EQ(active[static_cast<std::size_t>(row)], row == c.row)
                << "side " << int(c.side) << " row " << row;
        const auto other = ProtectionRowsActive(
            c.side == Side::Detection ? Side::Prevention : Side::Detection, doc);
        EXPECT_EQ(std::count(other.begin(), other.end(), true), 0);
        EXPECT_EQ(
            CountProtections(
                c.side == Side::Detection ? DetectionProtections() : PreventionProtections(), doc),
            1);
    }
}

TEST(ProtectionRows, EverythingOffGivesTwelveInactiveRowsAndTheMasterSwitchDoesNotCount) {
    CTarvellDoc doc;
    doc.DetectionEnabled = doc.PreventionEnabled = 1;
    for (Side side : {Side::Detection, Side::Prevention}) {
        for (bool on : ProtectionRowsActive(side, doc)) EXPECT_FALSE(on);
        EXPECT_FALSE(ProtectionRowActive(side, 6, doc));
        EXPECT_FALSE(ProtectionRowActive(side, -1, doc));
    }
    doc.DetectionEnabled = 0;
    doc.LinkupScriptFile = "x";
    EXPECT_TRUE(ProtectionRowActive(Side::Detection, 5, doc));
}

TEST(ProtectionRows, TitlesDetailsRunsAndPagesComeFromTheRowText) {
    EXPECT_EQ(SplitRowText(ProtectionRowText(Side::Prevention, 4)).title,
              "Schedule Time Prevention");
    EXPECT_EQ(SplitRowText("Only a title").description, "");
    const std::vector<TextRun> runs = DetailsRuns(ProtectionRowText(Side::Detection, 1));
    ASSERT_EQ(runs.size(), 2u);
    EXPECT_EQ(runs[0], (TextRun{"New Nodes Detection\n\nDescription: ", true}));
    EXPECT_FALSE(runs[1].bold);
    EXPECT_EQ(runs[1].text.rfind("Detect new nodes properties", 0), 0u);
    EXPECT_NE(runs[1].text.find("\n\nActivate this protection only after"), std::string::npos);
    EXPECT_TRUE(DetailsRuns(ProtectionRowText(Side::Detection, 6)).empty());

    const std::string page = ProtectionPageHtml(Side::Detection, 4);
    EXPECT_EQ(page.rfind("<style type='text/css'>body{font-size:70%;", 0), 0u);
    EXPECT_NE(page.find("<body><h1>Linkup WMI Detection</h1>\r\n<p><b>What does this Intrusion "
                        "Detection do?</b><br>"
                        "\r\nThe Linkup WMI Detection notifies"),
              std::string::npos);
    EXPECT_EQ(page.substr(page.size() - 20), "rules.</p>\r\n</body>\n");
    for (Side side : {Side::Detection, Side::Prevention}) {
        for (int row = 0; row < kProtectionRows; ++row)
            EXPECT_NE(ProtectionPageHtml(side, row)
                          .find(SplitRowText(ProtectionRowText(side, row)).title),
                      std::string::npos);
        EXPECT_EQ(ProtectionPageHtml(side, 6), "");
    }
    EXPECT_NE(ProtectionPageHtml(Side::Prevention, 4)
                  .find("</h1>\r\n<p><b>What does this Intrusion Prevention do?</b><br>"),
              std::string::npos);
}

TEST(ProtectionRows, ArrowKeysMoveTheDetailsWithinTheList) {
    EXPECT_EQ(DetailsRowAfterKey(2, ListKey::Down, 6), 3);
    EXPECT_EQ(DetailsRowAfterKey(2, ListKey::Up, 6), 1);
    EXPECT_EQ(DetailsRowAfterKey(5, ListKey::Down, 6), -1);  // last row: nothing new
    EXPECT_EQ(DetailsRowAfterKey(0, ListKey::Up, 6), -1);
    EXPECT_EQ(DetailsRowAfterKey(-1, ListKey::Down, 6), 0);
    EXPECT_EQ(DetailsRowAfterKey(3, ListKey::Other, 6), -1);
}

class MasterSwitchTest : public ViewerFixture {
protected:
    CTarvellApp& Connected() {
        CTarvellDoc settings;
        settings.PreventionEnabled = 0;
        WriteSettings(settings);
        CTarvellApp& app = StartApp();
        EXPECT_TRUE(app.ReloadDocument());
        app.AddHubListener([this](HubChange c) { saves_ += c == HubChange::SettingsSaved; });
        return app;
    }
    int saves_ = 0;
};

TEST_F(MasterSwitchTest, TwoClicksReturnToTheFirstStateWithTwoSaves) {
    CTarvellApp& app = Connected();
    bool on = false;
    EXPECT_EQ(ToggleMasterSwitch(app, Side::Prevention, on), EditResult::Saved);
    EXPECT_TRUE(on);
    EXPECT_TRUE(ShownSettings(app)->PreventionEnabled);
    EXPECT_EQ(StatusTextsOf(on).link, "Deactivate");
    EXPECT_EQ(ToggleMasterSwitch(app, Side::Prevention, on), EditResult::Saved);
    EXPECT_FALSE(on);
    EXPECT_EQ(saves_, 2);
    EXPECT_EQ(StatusTextsOf(on).state, "In-active");
    EXPECT_TRUE(app.ReloadDocument());
    EXPECT_EQ(app.Document().Fields().PreventionEnabled, 0);
    EXPECT_EQ(app.Document().Fields().DetectionEnabled, 0);
}

TEST_F(MasterSwitchTest, AFailedReloadOrSaveLeavesTheSwitchAsStored) {
    CTarvellApp& app = Connected();
    bool on = true;
    // The hand-over folder is a file: the save cannot land.
    ASSERT_TRUE(AtomicWriteFile(JoinPath(server_, "handover"), "x"));
    EXPECT_NE(ToggleMasterSwitch(app, Side::Prevention, on), EditResult::Saved);
    EXPECT_FALSE(on);
    EXPECT_EQ(app.Document().Fields().PreventionEnabled, 0);
    RemoveTree(JoinPath(server_, "handover"));
    RemoveTree(JoinPath(server_, "Tarvell.ini"));
    EXPECT_EQ(ToggleMasterSwitch(app, Side::Prevention, on), EditResult::ReloadFailed);
    EXPECT_FALSE(on);
    EXPECT_EQ(saves_, 0);
}

}  // namespace
}  // namespace tarvell::test
