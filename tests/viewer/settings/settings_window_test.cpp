// The settings window offscreen: each show starts on Local with Save off, the gating, the
// popup link, the Local save, the popup options page and the panels' lists.
#include <QApplication>
#include <QContextMenuEvent>
#include <QMenu>
#include <QTest>
#include <gtest/gtest.h>

#include "tests/viewer/core/ViewerFixture.h"
#include "viewer/core/settings/Autostart.h"
#include "viewer/core/base/Prompt.h"
#include "viewer/core/base/StringTable.h"
#include "viewer/settings/CAccessSettingsPanel.h"
#include "viewer/settings/CLocalSettingsPanel.h"
#include "viewer/settings/CSettingsLocalPopup.h"
#include "viewer/settings/CSettingsWnd.h"
#include "viewer/widgets/CFlatToolBarCtrl.h"
#include "viewer/widgets/CSortListCtrl.h"
#include "viewer/widgets/LinkLabel.h"
#include "viewer/widgets/Pickers.h"

namespace tarvell::test {
namespace {

struct ScriptedFolders : FolderPicker {
    std::optional<QString> answer;
    std::optional<QString> PickFolder(QWidget*, const QString&) override { return answer; }
};
struct ScriptedFiles : FilePicker {
    std::optional<QString> answer;
    std::optional<QString> PickFile(QWidget*, const QString&) override { return answer; }
};

class SettingsWindowTest : public ViewerFixture {
protected:
    void SetUp() override {
        ViewerFixture::SetUp();
        qputenv("XDG_CONFIG_HOME", QByteArray::fromStdString(JoinPath(root_, "config")));
    }
    void TearDown() override {
        window_.reset();
        ViewerFixture::TearDown();
    }
    CSettingsWnd& Open(const CTarvellDoc& doc, QWidget* frame = nullptr) {
        WriteSettings(doc);
        CTarvellApp& app = StartApp();
        EXPECT_TRUE(app.ReloadDocument());
        app.ReadIdentity();
        context_ = std::make_unique<PageContext>(PageContext{app, router_, prompt_, {}, {}});
        context_->connectServer = [this](const std::string& name, const std::string& folder) {
            connects_.push_back(name + "|" + folder);
            return true;
        };
        window_ = std::make_unique<CSettingsWnd>(*context_, frame, &folders_, &files_);
        router_.SetRoot(window_->Commands());
        window_->resize(900, 560);
        window_->show();
        return *window_;
    }
    std::vector<unsigned> Messages() const {
        std::vector<unsigned> ids;
        for (const auto& r : prompt_.Requests())
            for (unsigned id : {str::kNeedOneServer, str::kSettingsSaved, str::kAutostartFailed})
                if (r.text == LoadString(id)) ids.push_back(id);
        return ids;
    }

    CommandRouter router_;
    PromptRecorder prompt_;
    ScriptedFolders folders_;
    ScriptedFiles files_;
    std::unique_ptr<PageContext> context_;
    std::unique_ptr<CSettingsWnd> window_;
    std::vector<std::string> connects_;
};

TEST_F(SettingsWindowTest, EachShowStartsOnLocalWithSaveOffUntilAChange) {
    CSettingsWnd& w = Open(DefaultSettings());
    for (int pass = 0; pass < 2; ++pass) {
        EXPECT_EQ(w.Current(), cmd::kSettingsLocal);
        EXPECT_TRUE(w.Toolbar()->IsPressed(cmd::kSettingsLocal));
        EXPECT_TRUE(w.LocalPanel()->isVisible());
        EXPECT_FALSE(w.SaveButton()->isEnabled());
        router_.Send(cmd::kSettingsAlerts);  // no users: every category opens
        EXPECT_EQ(w.Current(), cmd::kSettingsAlerts);
        EXPECT_FALSE(w.Toolbar()->IsPressed(cmd::kSettingsLocal));
        EXPECT_FALSE(w.LocalPanel()->isVisible());
        router_.Send(cmd::kSettingsLocal);
        w.LocalPanel()->RunBox()->click();
        EXPECT_TRUE(w.SaveButton()->isEnabled());
        w.hide();
        w.show();
    }
    // The window's show brought the text tables in step.
    CTarvellDoc saved;
    ASSERT_TRUE(saved.LoadFromFile(JoinPath(JoinPath(server_, "handover"), "Tarvell.ini")));
    EXPECT_EQ(saved.AlertDescriptionTexts.size(), 33u);
}

// Fixed: minimising the main window or hiding it to the tray dropped the panel and its edits.
TEST_F(SettingsWindowTest, AnEditSurvivesMinimiseRestoreAndHideShowOfTheMainWindow) {
    QWidget frame;
    CSettingsWnd& w = Open(DefaultSettings(), &frame);
    frame.show();
    router_.Send(cmd::kSettingsAlerts);
    QTest::mouseClick(w.VisiblePanel()->findChild<QCheckBox*>(), Qt::LeftButton);
    for (auto [away, back] : {std::pair{&QWidget::showMinimized, &QWidget::showNormal},
                              std::pair{&QWidget::hide, &QWidget::show}}) {
        (frame.*away)();
        (frame.*back)();
        EXPECT_EQ(w.Current(), cmd::kSettingsAlerts);
        EXPECT_TRUE(w.SaveButton()->isEnabled());
    }
    window_.reset();  // before its frame
}

TEST_F(SettingsWindowTest, ACategoryWithoutThePermissionIsNeverShown) {
    CTarvellDoc doc = DefaultSettings();
    doc.ViewerUsers = {"alice/Alice;Snmp Settings;Nodes Settings;"};
    CSettingsWnd& w = Open(doc);
    const std::vector<std::pair<CommandId, bool>> buttons = {{cmd::kSettingsLocal, true},
                                                             {cmd::kSettingsAccess, false},
                                                             {cmd::kSettingsSnmp, true},
                                                             {cmd::kSettingsNodes, true},
                                                             {cmd::kSettingsAlerts, false}};
    for (const auto& [command, enabled] : buttons)
        EXPECT_EQ(w.Toolbar()->Button(w.Toolbar()->CommandToIndex(command)).enabled, enabled)
            << command;
    for (int i = 0; i < CSettingsWnd::kPanels; ++i)
        EXPECT_EQ(w.Toolbar()->ButtonRect(i).width(), 110);
    EXPECT_EQ(w.Toolbar()->ButtonRect(5).top(), 5 * w.Toolbar()->ButtonRect(1).top());  // one a row
    router_.Send(cmd::kSettingsAlerts);  // as a prevention page sends it
    EXPECT_EQ(w.Current(), cmd::kSettingsLocal);
    EXPECT_TRUE(w.LocalPanel()->isVisible());
    router_.Send(cmd::kSettingsSnmp);
    EXPECT_EQ(w.Current(), cmd::kSettingsSnmp);
}

TEST_F(SettingsWindowTest, PopupLinkFollowsItsBox) {
    CSettingsWnd& w = Open(DefaultSettings());
    CLocalSettingsPanel* local = w.LocalPanel();
    local->PopupBox()->setChecked(false);
    EXPECT_FALSE(local->PopupLink()->IsActive());
    local->PopupBox()->click();
    EXPECT_TRUE(local->PopupLink()->IsActive());
    EXPECT_TRUE(w.SaveButton()->isEnabled());
}

TEST_F(SettingsWindowTest, LocalSaveRefusesNoRowsThenStoresAnAddedServer) {
    CSettingsWnd& w = Open(DefaultSettings());
    CLocalSettingsPanel* local = w.LocalPanel();
    while (!local->Servers().Empty()) {
        local->List()->SelectRow(0);
        local->RunCommand(cmd::kServerDelete);
    }
    router_.Send(cmd::kSettingsSave);
    EXPECT_EQ(Messages(), std::vector<unsigned>{str::kNeedOneServer});
    EXPECT_TRUE(w.SaveButton()->isEnabled());  // nothing stored: Save stays available

    folders_.answer = QString::fromStdString(JoinPath(root_, "branch"));
    local->AddServer();
    EXPECT_EQ(local->Servers().Rows().at(0).name, "New Server");
    EXPECT_TRUE(local->Servers().Rows().at(0).isDefault);
    local->List()->SelectRow(0);
    local->RunCommand(cmd::kConnectServer);  // before any Save
    EXPECT_EQ(connects_, std::vector<std::string>{"New Server|" + JoinPath(root_, "branch")});

    prompt_.Clear();
    local->RunBox()->setChecked(true);
    router_.Send(cmd::kSettingsSave);
    EXPECT_EQ(Messages(), std::vector<unsigned>{str::kSettingsSaved});
    EXPECT_FALSE(w.SaveButton()->isEnabled());
    w.hide();
    w.show();  // the box reads the autostart entry back
    EXPECT_TRUE(local->RunBox()->isChecked());
    ServerMap servers;
    context_->app.CopyServers(servers);
    EXPECT_EQ(servers.at("New Server").IsDefault, 1);
}

TEST_F(SettingsWindowTest, InPlaceRenameRefusesAnotherRowsNameAndKeepsAnEmptyOne) {
    CSettingsWnd& w = Open(DefaultSettings());
    CLocalSettingsPanel* local = w.LocalPanel();
    folders_.answer = QStringLiteral("/srv/second");
    local->AddServer();  // beside "Local"
    w.EnableSave(false);
    QAbstractItemModel* model = local->List()->model();
    const QModelIndex added = model->index(1, 0);
    ASSERT_EQ(added.data().toString(), QStringLiteral("New Server"));
    EXPECT_FALSE(model->setData(added, QStringLiteral("LOCAL"), Qt::EditRole));
    EXPECT_FALSE(model->setData(added, QString(), Qt::EditRole));
    EXPECT_EQ(added.data().toString(), QStringLiteral("New Server"));
    EXPECT_EQ(prompt_.Requests().size(), 1u);
    EXPECT_EQ(prompt_.Requests()[0].text, LoadString(str::kServerNameTaken));
    EXPECT_FALSE(w.SaveButton()->isEnabled());
    EXPECT_TRUE(model->setData(added, QStringLiteral("Branch"), Qt::EditRole));
    EXPECT_TRUE(w.SaveButton()->isEnabled());
    EXPECT_EQ(local->Servers().ToServerMap().size(), 2u);
}

TEST_F(SettingsWindowTest, PopupPageStartsFromTheStoredValuesAndStoresTheSlider) {
    CSettingsWnd& w = Open(DefaultSettings());
    CTarvellApp& app = context_->app;
    app.SetPopupPreferences(0, 45, "/snd/a.wav");  // popups off: the values still load
    CSettingsLocalPopup page(app, prompt_, files_, &w);
    page.OnInitDialog();
    EXPECT_TRUE(page.TimeoutBox()->isChecked());
    EXPECT_EQ(page.Slider()->value(), 4);
    EXPECT_EQ(page.ValueLabel()->text(), QStringLiteral("40"));
    EXPECT_TRUE(page.SoundEdit()->isEnabled());
    page.SoundBox()->click();  // cleared: the path goes
    EXPECT_TRUE(page.SoundEdit()->text().isEmpty());
    ASSERT_TRUE(page.OnOK());
    EXPECT_EQ(app.PopupTimeout(), 40u);
    EXPECT_EQ(app.PopupSound(), "");

    page.TimeoutBox()->click();
    EXPECT_EQ(page.ValueLabel()->text(), QStringLiteral("0"));
    page.TimeoutBox()->click();
    EXPECT_EQ(page.ValueLabel()->text(), QStringLiteral("10"));
    page.SoundBox()->click();
    page.SoundEdit()->setText(QString(300, QLatin1Char('a')));
    EXPECT_FALSE(page.OnOK());  // refused, not cut
    EXPECT_EQ(app.PopupTimeout(), 40u);
}

// ---- the panels with a list (servers, users)

TEST_F(SettingsWindowTest, AListsMenuOpensOnARowOnlyAndADoubleClickRunsTheDefault) {
    CSettingsWnd& w = Open(DefaultSettings());  // no users: the Access list shows the guest
    const auto rightClick = [](CSortListCtrl* list, QPoint at) {
        QContextMenuEvent event(QContextMenuEvent::Mouse, at, list->viewport()->mapToGlobal(at));
        QApplication::sendEvent(list->viewport(), &event);
    };
    const struct {
        CommandId category;
        std::function<CListSettingsPanel*()> panel;
        std::function<QMenu*()> menu;
    } cases[] = {
        {cmd::kSettingsLocal, [&] { return w.LocalPanel(); },
         [&] { return w.LocalPanel()->ServersMenu(); }},
        {cmd::kSettingsAccess, [&] { return static_cast<CListSettingsPanel*>(w.VisiblePanel()); },
         [&] { return static_cast<CAccessSettingsPanel*>(w.VisiblePanel())->UsersMenu(); }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.category);
        router_.Send(c.category);
        CSortListCtrl* list = c.panel()->List();
        ASSERT_GE(list->model()->rowCount(), 1);
        list->clearSelection();
        rightClick(list, QPoint(10, list->viewport()->height() - 4));
        EXPECT_FALSE(c.menu()->isVisible()) << "beside the rows";
        EXPECT_EQ(list->SelectedRow(), -1);
        rightClick(list, list->visualRect(list->model()->index(0, 0)).center());
        EXPECT_TRUE(c.menu()->isVisible());
        EXPECT_EQ(list->SelectedRow(), 0);
        c.menu()->hide();
    }
    router_.Send(cmd::kSettingsLocal);
    CSortListCtrl* servers = w.LocalPanel()->List();
    const QModelIndex first = servers->model()->index(0, 0);
    const QPoint at = servers->visualRect(first).center();
    QTest::mouseClick(servers->viewport(), Qt::LeftButton, {}, at);  // a double click's first press
    QTest::mouseDClick(servers->viewport(), Qt::LeftButton, {}, at);
    ASSERT_EQ(connects_.size(), 1u) << "Connect is the servers' default";
    EXPECT_EQ(connects_[0].substr(0, connects_[0].find('|')),
              first.data().toString().toStdString());
}

}  // namespace
}  // namespace tarvell::test
