// The settings window's rules: the text tables kept in step, category gating, the save of a
// document panel and of the Local panel, the servers list, the popup options and the autostart
// entry.
#include <sys/stat.h>

#include "ViewerFixture.h"
#include "viewer/core/settings/Autostart.h"
#include "viewer/core/settings/LocalSettings.h"
#include "viewer/core/settings/SettingsRules.h"
#include "viewer/core/base/StringTable.h"

namespace tarvell::test {
namespace {

class SettingsRulesTest : public ViewerFixture {
protected:
    CTarvellApp& Connected(const CTarvellDoc& doc) {
        WriteSettings(doc);
        CTarvellApp& app = StartApp();
        EXPECT_TRUE(app.ReloadDocument());
        return app;
    }
    std::string HandOver() const { return JoinPath(JoinPath(server_, "handover"), "Tarvell.ini"); }
};

struct AlertsDaysPanel : SettingsPanel {
    int days = 0;
    unsigned problem = 0;
    void Load(const CTarvellDoc& doc) override { days = doc.AlertRemoveDays; }
    void Store(CTarvellDoc& doc) const override { doc.AlertRemoveDays = days; }
    unsigned Check() const override { return problem; }
};

TEST_F(SettingsRulesTest, TextTablesAreAppendedReplacedOrLeftAlone) {
    CTarvellDoc doc = DefaultSettings();
    doc.AlertSeverityTexts.clear();
    doc.AlertCauseTexts.clear();
    doc.AlertDescriptionTexts.clear();
    EXPECT_TRUE(SyncTextTables(doc));
    EXPECT_EQ(doc.AlertSeverityTexts.size() + doc.AlertCauseTexts.size() +
                  doc.AlertDescriptionTexts.size(),
              72u);
    EXPECT_EQ(doc.AlertCauseTexts[21], "WMI Process name");
    EXPECT_EQ(doc.AlertDescriptionTexts[32], "Quenmark Tarvell - Test message");
    EXPECT_FALSE(SyncTextTables(doc));

    doc.AlertCauseTexts[3] = "new mac";         // differs in case only
    doc.AlertSeverityTexts.push_back("Extra");  // longer than the viewer's
    EXPECT_TRUE(SyncTextTables(doc));
    EXPECT_EQ(doc.AlertCauseTexts[3], "New Mac");
    ASSERT_EQ(doc.AlertSeverityTexts.size(), 7u);
    EXPECT_EQ(doc.AlertSeverityTexts[6], "Extra");
}

TEST_F(SettingsRulesTest, ShowingSavesOnlyWhenTheTablesChangedAndNeverAfterAFailedReload) {
    CTarvellDoc doc = DefaultSettings();
    doc.AlertCauseTexts.clear();
    CTarvellApp& app = Connected(doc);
    EXPECT_TRUE(RepairTextTables(app));
    CTarvellDoc saved;
    ASSERT_TRUE(saved.LoadFromFile(HandOver()));
    EXPECT_EQ(saved.AlertCauseTexts.size(), 33u);

    ASSERT_EQ(::unlink(HandOver().c_str()), 0);
    WriteSettings(saved);
    EXPECT_TRUE(RepairTextTables(app));  // equal tables: no write
    EXPECT_FALSE(FileExists(HandOver()));

    ASSERT_TRUE(AtomicWriteFile(JoinPath(server_, "Tarvell.ini"), "not a settings file"));
    EXPECT_FALSE(RepairTextTables(app));
    EXPECT_FALSE(FileExists(HandOver()));
}

TEST_F(SettingsRulesTest, CategoriesFollowThePermissionTexts) {
    const std::string perms =
        "Access Settings;Alerts Settings;Nodes Settings";  // no ";" after Nodes
    const struct {
        CommandId command;
        bool withUsers;
        bool withoutUsers;
    } cases[] = {
        {cmd::kSettingsLocal, true, true},  {cmd::kSettingsAccess, true, true},
        {cmd::kSettingsSnmp, false, true},  {cmd::kSettingsNodes, false, true},
        {cmd::kSettingsAlerts, true, true}, {cmd::kSettingsSave, false, false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(CategoryEnabled(c.command, true, perms), c.withUsers) << c.command;
        EXPECT_EQ(CategoryEnabled(c.command, false, ""), c.withoutUsers) << c.command;
    }
}

TEST_F(SettingsRulesTest, PanelSaveReportsEachOutcome) {
    CTarvellApp& app = Connected(DefaultSettings());
    AlertsDaysPanel panel;
    panel.days = 12;
    EXPECT_EQ(SaveVisiblePanel(app, panel), str::kSettingsSaved);
    CTarvellDoc saved;
    ASSERT_TRUE(saved.LoadFromFile(HandOver()));
    EXPECT_EQ(saved.AlertRemoveDays, 12);

    panel.problem = str::kTextNotStorable;  // a refused panel writes nothing
    panel.days = 30;
    EXPECT_EQ(SaveVisiblePanel(app, panel), str::kTextNotStorable);
    ASSERT_TRUE(saved.LoadFromFile(HandOver()));
    EXPECT_EQ(saved.AlertRemoveDays, 12);

    ASSERT_EQ(::unlink(HandOver().c_str()), 0);
    ASSERT_TRUE(AtomicWriteFile(JoinPath(server_, "Tarvell.ini"), "garbage"));
    panel.problem = 0;
    EXPECT_EQ(SaveVisiblePanel(app, panel), str::kSettingsReloadFailed);
    EXPECT_FALSE(FileExists(HandOver()));
}

TEST_F(SettingsRulesTest, StorableTextRefusesWhatWindows1252CannotHold) {
    EXPECT_TRUE(StorableText("caf\xC3\xA9 \xE2\x82\xAC ?"));  // e acute and the euro sign
    EXPECT_FALSE(StorableText("\xE4\xB8\xAD"));               // a CJK character
    EXPECT_FALSE(StorableText("\xC3"));                       // malformed
    EXPECT_EQ(CheckStorable({"ok", "\xE4\xB8\xAD"}), str::kTextNotStorable);
    EXPECT_EQ(CheckStorable({"ok", ""}), 0u);
}

TEST_F(SettingsRulesTest, ServerListAddDeleteRenameDefault) {
    ServerList list;
    EXPECT_EQ(list.Add("/srv/a"), 0u);
    EXPECT_EQ(list.Add("/srv/b"), 1u);
    list.Add("/srv/c");
    EXPECT_TRUE(list.Rows()[0].isDefault);
    EXPECT_FALSE(list.Rows()[1].isDefault);
    EXPECT_EQ(list.Rows()[1].name, "New Server 2");
    EXPECT_EQ(list.Rows()[2].name, "New Server 3");

    EXPECT_EQ(list.SetName(1, ""), ServerList::Rename::Kept);
    EXPECT_EQ(list.Rows()[1].name, "New Server 2");
    EXPECT_EQ(list.SetName(1, "new server"), ServerList::Rename::Taken);
    EXPECT_EQ(list.SetName(1, "Branch"), ServerList::Rename::Renamed);
    EXPECT_EQ(list.SetName(1, "BRANCH"), ServerList::Rename::Renamed);  // its own name

    EXPECT_TRUE(list.SetDefault(2));
    EXPECT_TRUE(list.Delete(0));  // not the default: no image changes
    EXPECT_FALSE(list.Rows()[0].isDefault);
    EXPECT_TRUE(list.Delete(1));  // the default: the first row takes over
    EXPECT_TRUE(list.Rows()[0].isDefault);
    EXPECT_FALSE(list.Delete(5));

    const ServerMap map = list.ToServerMap();
    ASSERT_EQ(map.size(), 1u);
    EXPECT_EQ(map.at("BRANCH"), (CServerItem{1, "/srv/b"}));
    EXPECT_FALSE(ConnectTargetOf(list, std::nullopt));
    EXPECT_EQ(ConnectTargetOf(list, 0)->folder, "/srv/b");
}

TEST_F(SettingsRulesTest, LocalSaveRefusesAnEmptyListAndStoresRowsAsDefault) {
    CTarvellApp& app = StartApp();
    const std::string autostart = JoinPath(root_, "autostart/Tarvell.desktop");
    LocalValues values{true, false, autostart, "/opt/tarvell/bin/Tarvell"};
    ServerMap before;
    app.CopyServers(before);
    EXPECT_EQ(SaveLocalSettings(app, ServerList{}, values), str::kNeedOneServer);
    ServerMap after;
    app.CopyServers(after);
    EXPECT_EQ(after, before);
    EXPECT_FALSE(FileExists(autostart));

    ServerList list;
    list.Add("/srv/remote");
    EXPECT_EQ(SaveLocalSettings(app, list, values), str::kSettingsSaved);
    EXPECT_TRUE(IsAutostartEnabledFor(autostart, values.program));
    EXPECT_EQ(app.PopupAlerts(), 0u);
    CTarvellApp second(Environment(server_));
    second.CopyServers(after);
    ASSERT_EQ(after.size(), 1u);
    EXPECT_EQ(after.at("New Server"), (CServerItem{1, "/srv/remote"}));

    values.autostartPath = JoinPath(server_, "Tarvell.ini/no/entry");  // below a file
    values.startWithDesktop = true;
    WriteSettings(DefaultSettings());
    EXPECT_EQ(SaveLocalSettings(app, list, values), str::kAutostartFailed);
}

TEST_F(SettingsRulesTest, ConnectTakesAnUnsavedRowAndItsMachineFromTheFolder) {
    WriteSettings(DefaultSettings());
    ViewerEnvironment env = Environment(root_);
    const std::string mount = "36 25 0:40 / " + server_ + " rw - cifs //filer.corp/tarvell rw\n";
    env.mountInfo = [mount] { return mount; };
    CTarvellApp app(env);
    ASSERT_TRUE(app.SelectServer("Unsaved Row", server_));
    EXPECT_EQ(app.Server().Name, "Unsaved Row");
    EXPECT_EQ(app.Server().Machine, "filer.corp");
    EXPECT_FALSE(app.SelectServer("Nowhere", JoinPath(root_, "missing")));
    EXPECT_EQ(app.Server().Name, "Unsaved Row");
}

TEST_F(SettingsRulesTest, PopupOptionsFromAndToStoredValues) {
    PopupOptions o = PopupOptionsOf(45, "");
    EXPECT_TRUE(o.timeoutOn);
    EXPECT_EQ(o.position, 4);
    EXPECT_EQ(PopupSliderLabel(o.timeoutOn, o.position), "40");
    EXPECT_EQ(PopupValuesOf(o).values.timeout, 40u);
    EXPECT_FALSE(o.soundOn);

    EXPECT_EQ(PopupOptionsOf(5, "").position, 1);  // held within 1..10
    EXPECT_EQ(PopupOptionsOf(900, "").position, 10);
    o.timeoutOn = false;
    EXPECT_EQ(PopupSliderLabel(o.timeoutOn, o.position), "0");
    EXPECT_EQ(PopupValuesOf(o).values.timeout, 0u);

    o = PopupOptionsOf(0, "/snd/a.wav");
    EXPECT_TRUE(o.soundOn);
    o.soundOn = false;
    EXPECT_EQ(PopupValuesOf(o).values.sound, "");
    o.soundOn = true;
    o.sound = "/" + std::string(kMaxPopupSound, 'a');
    EXPECT_EQ(PopupValuesOf(o).message, str::kPopupSoundTooLong);
}

TEST_F(SettingsRulesTest, AutostartEntryRoundTripAndForeignEntries) {
    const std::string program = "/home/a b/it's \"q\" $x\\y%z/Tarvell";
    const auto exec = AutostartExec(program);
    ASSERT_TRUE(exec);
    EXPECT_EQ(ParseExec(*exec), (std::vector<std::string>{program, "/autoRun"}));
    EXPECT_FALSE(AutostartExec("relative/Tarvell"));
    EXPECT_FALSE(AutostartExec("/a\nExec=/bin/sh"));
    EXPECT_FALSE(ParseExec("\"/unterminated"));

    const std::string path = JoinPath(root_, "cfg/autostart/Tarvell.desktop");
    EXPECT_FALSE(IsAutostartEnabledFor(path, program));
    ASSERT_TRUE(EnableAutostart(path, program));
    EXPECT_TRUE(IsAutostartEnabledFor(path, program));
    EXPECT_FALSE(IsAutostartEnabledFor(path, "/usr/bin/other"));

    const struct {
        const char* text;
    } foreign[] = {
        {"[Desktop Entry]\nExec=/usr/bin/other /autoRun\n"},
        {"[Desktop Entry]\nExec=\"/opt/T\" /autoRun\nHidden=true\n"},
        {"[Other Group]\nExec=\"/opt/T\" /autoRun\n"},
    };
    for (const auto& f : foreign) {
        ASSERT_TRUE(AtomicWriteFile(path, f.text));
        EXPECT_FALSE(IsAutostartEnabledFor(path, "/opt/T")) << f.text;
    }
    EXPECT_TRUE(DisableAutostart(path));
    EXPECT_TRUE(DisableAutostart(path));  // none left is success
    EXPECT_FALSE(FileExists(path));

    setenv("XDG_CONFIG_HOME", "/cfg/home", 1);
    EXPECT_EQ(AutostartPath(), "/cfg/home/autostart/Tarvell.desktop");
    setenv("XDG_CONFIG_HOME", "relative", 1);
    setenv("HOME", "/h", 1);
    EXPECT_EQ(AutostartPath(), "/h/.config/autostart/Tarvell.desktop");
    unsetenv("XDG_CONFIG_HOME");
}

}  // namespace
}  // namespace tarvell::test
