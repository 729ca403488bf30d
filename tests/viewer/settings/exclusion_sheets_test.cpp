// The Devices, Nodes and Snmp panels and their sheets offscreen: the links follow their boxes,
// the panels save through the window, and each page's OK stores its fields.
#include <QApplication>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

#include <filesystem>

#include "tests/viewer/core/ViewerFixture.h"
#include "viewer/core/base/Prompt.h"
#include "viewer/core/base/StringTable.h"
#include "viewer/settings/CSettingsWnd.h"
#include "viewer/settings/DevicesSettingsUi.h"
#include "viewer/settings/NodesSettingsUi.h"
#include "viewer/settings/SnmpSettingsUi.h"
#include "viewer/widgets/CCheckListCtrl.h"
#include "viewer/widgets/CIpAddressCtrl.h"
#include "viewer/widgets/LinkLabel.h"
#include "viewer/widgets/Pickers.h"

namespace tarvell::test {
namespace {

struct NoFolders : FolderPicker {
    std::optional<QString> PickFolder(QWidget*, const QString&) override { return {}; }
};
struct NoFiles : FilePicker {
    std::optional<QString> PickFile(QWidget*, const QString&) override { return {}; }
};

class ExclusionSheetsTest : public ViewerFixture {
protected:
    void SetUp() override {
        ViewerFixture::SetUp();
        qputenv("XDG_CONFIG_HOME", QByteArray::fromStdString(JoinPath(root_, "config")));
    }
    void TearDown() override {
        sheet_.reset();
        window_.reset();
        ViewerFixture::TearDown();
    }
    // The settings and an event file whose tables hold three devices and their ports.
    CTarvellApp& Start(const CTarvellDoc& doc) {
        sheet_.reset();
        window_.reset();
        WriteSettings(doc);
        EventDatabaseFile file;
        file.DeviceTable = {
            {"S1", "10.0.0.20/core/ops"}, {"S2", "10.0.0.3/Edge"}, {"S3", "10.0.0.100/access"}};
        file.PortNames = {{"S1/1", "Gi0/1"}, {"S1/2", "Gi0/2"}, {"S2/1", "Fa0/1"}};
        EXPECT_TRUE(WriteStateFile(JoinPath(server_, "Tarvell.db"), file));
        CTarvellApp& app = StartApp();
        EXPECT_TRUE(app.SelectServer("Local"));
        return app;
    }
    CSettingsWnd& Window(CommandId category, const CTarvellDoc& doc) {
        CTarvellApp& app = Start(doc);
        context_ = std::make_unique<PageContext>(PageContext{app, router_, prompt_, {}, {}});
        window_ = std::make_unique<CSettingsWnd>(*context_, nullptr, &folders_, &files_);
        router_.SetRoot(window_->Commands());
        window_->resize(900, 560);
        window_->show();
        router_.Send(category);
        return *window_;
    }
    template <typename Page>
    Page* Sheet(const CTarvellDoc& doc) {
        CTarvellApp& app = Start(doc);
        sheet_ = std::make_unique<CPropertySheet>(QStringLiteral("Sheet"));
        // The two SNMPv3 pages share their sheet.
        if constexpr (std::is_same_v<Page, CSettingsSnmpVersion3>)
            AddSnmpV3Pages(*sheet_, app, prompt_);
        else sheet_->AddPage(new Page(app, prompt_));
        sheet_->show();
        return static_cast<Page*>(sheet_->Page(0));
    }
    CTarvellDoc Saved() const {
        CTarvellDoc saved;
        EXPECT_TRUE(saved.LoadFromFile(JoinPath(JoinPath(server_, "handover"), "Tarvell.ini")));
        return saved;
    }
    // Whether a click on the link opened a modal sheet, which is closed at once.
    static QString SheetOpenedBy(LinkLabel* link) {
        QString caption;
        QTimer::singleShot(0, [&caption] {
            if (QWidget* modal = QApplication::activeModalWidget()) {
                caption = modal->windowTitle();
                static_cast<CPropertySheet*>(modal)->PressCancel();
            }
        });
        QTest::mouseClick(link, Qt::LeftButton, {}, QPoint(5, 5));
        QApplication::processEvents();
        return caption;
    }
    static void Space(CCheckListCtrl* list, int row) {
        list->setCurrentItem(list->topLevelItem(row));
        list->setFocus();
        QTest::keyClick(list, Qt::Key_Space);
    }
    std::vector<std::string> Told() const {
        std::vector<std::string> out;
        for (const auto& r : prompt_.Requests()) out.push_back(r.text);
        return out;
    }

    CommandRouter router_;
    PromptRecorder prompt_;
    NoFolders folders_;
    NoFiles files_;
    std::unique_ptr<PageContext> context_;
    std::unique_ptr<CSettingsWnd> window_;
    std::unique_ptr<CPropertySheet> sheet_;
};

TEST_F(ExclusionSheetsTest, DevicesPanelAndItsSheets) {
    CTarvellDoc doc = DefaultSettings();
    doc.ExcludeDevicesEnabled = 0;
    doc.ExcludedDevices = {"S9"};
    doc.ExcludedPorts = {"S2/Fa0/1"};
    CSettingsWnd& w = Window(cmd::kSettingsDevices, doc);
    auto* panel = dynamic_cast<CDevicesSettingsPanel*>(w.VisiblePanel());
    ASSERT_NE(panel, nullptr);
    EXPECT_FALSE(w.SaveButton()->isEnabled());
    EXPECT_FALSE(panel->Link(0)->IsActive());
    EXPECT_EQ(SheetOpenedBy(panel->Link(0)), "") << "inert until its box is ticked";
    panel->Check(3)->click();
    EXPECT_TRUE(panel->Link(0)->IsActive());
    EXPECT_TRUE(w.SaveButton()->isEnabled());
    EXPECT_EQ(SheetOpenedBy(panel->Link(0)), "Devices Options");
    w.OnSave();
    EXPECT_EQ(Saved().ExcludeDevicesEnabled, 1);

    auto* ports = Sheet<CSettingsSwitchesPorts>(Saved());
    ports->ByAddressRadio()->click();
    ASSERT_EQ(ports->AddressBox()->count(), 3);
    EXPECT_EQ(ports->AddressBox()->itemText(0), "10.0.0.100");  // sorted as text
    EXPECT_EQ(ports->AddressBox()->itemText(2), "10.0.0.3");
    ports->AddressBox()->setCurrentIndex(1);
    emit ports->AddressBox()->activated(1);  // 10.0.0.20, S1
    ASSERT_EQ(ports->List()->ItemCount(), 2);
    Space(ports->List(), 1);
    EXPECT_TRUE(ports->IsModified());
    QTest::mouseClick(ports->ExcludeAllLink(), Qt::LeftButton);
    QTest::mouseClick(ports->ExcludeAllLink(), Qt::LeftButton);
    sheet_->PressOk();
    EXPECT_EQ(Saved().ExcludedPorts,
              (std::vector<std::string>{"S2/Fa0/1", "S1/Gi0/1", "S1/Gi0/2"}));

    auto* devices = Sheet<CSettingsSwitchesAddresses>(Saved());
    ASSERT_EQ(devices->List()->ItemCount(), 3);
    EXPECT_EQ(devices->List()->ItemText(1, 1), "10.0.0.3");
    Space(devices->List(), 1);
    EXPECT_TRUE(devices->IsModified()) << "a keyboard tick counts";
    sheet_->PressOk();
    EXPECT_EQ(Saved().ExcludedDevices, (std::vector<std::string>{"S2", "S9"}));
}

TEST_F(ExclusionSheetsTest, NodesPages) {
    CTarvellDoc doc = DefaultSettings();
    doc.UnmanagedMacs = {"00A0C9FFFFFF"};
    doc.UnmanagedIps = {"10.1.2.3"};
    auto* mac = Sheet<CSettingsNodesMac>(doc);
    QTest::keyClicks(mac->MacEdit(), "zzzzzzzzzzz");
    EXPECT_FALSE(mac->AddButton()->isEnabled()) << "11 characters";
    QTest::keyClicks(mac->MacEdit(), "z");
    ASSERT_TRUE(mac->AddButton()->isEnabled());
    mac->AddButton()->click();
    mac->MacEdit()->setText("00a0c9ffffff");
    mac->AddButton()->click();
    mac->MacEdit()->setText("00a0c9******");
    mac->AddButton()->click();
    EXPECT_EQ(Told(), (std::vector<std::string>{std::string(LoadString(str::kMacEntryInvalid)),
                                                std::string(LoadString(str::kItemExists))}));
    sheet_->PressOk();
    EXPECT_EQ(Saved().UnmanagedMacs, (std::vector<std::string>{"00A0C9FFFFFF", "00a0c9******"}));

    prompt_.Clear();
    auto* ip = Sheet<CSettingsNodesIp>(Saved());
    ASSERT_EQ(ip->List()->topLevelItemCount(), 1);
    EXPECT_EQ(ip->List()->topLevelItem(0)->text(0), "10.1.2.3");
    EXPECT_EQ(ip->List()->topLevelItem(0)->text(1), "");
    QTest::keyClicks(ip->AddressCtrl()->Field(0), "10");
    ip->AddressCtrl()->SetText("10.9.0.0");
    ASSERT_TRUE(ip->AddButton()->isEnabled());
    ip->MaskCtrl()->SetText("255.0.255.0");
    ip->AddButton()->click();
    ip->MaskCtrl()->SetText("255.255.0.0");
    ip->AddButton()->click();
    EXPECT_EQ(Told(), std::vector<std::string>{std::string(LoadString(str::kMaskInvalid))});
    sheet_->PressOk();
    EXPECT_EQ(Saved().UnmanagedIps, (std::vector<std::string>{"10.1.2.3", "10.9.0.0/255.255.0.0"}));
}

TEST_F(ExclusionSheetsTest, SnmpPanelAndItsSheets) {
    CTarvellDoc doc = DefaultSettings();
    doc.SnmpTimeout = 70000;
    doc.SnmpCommunitiesEnabled = 0;
    doc.SnmpCommunities = {"a/b/2", "plain"};
    doc.SnmpNetworks = {"10.0.0.0/255.0.0.0"};
    doc.SnmpV3AuthProtocol = -1;
    doc.SnmpV3PrivProtocol = 2;
    CSettingsWnd& w = Window(cmd::kSettingsSnmp, doc);
    auto* panel = dynamic_cast<CSnmpSettingsPanel*>(w.VisiblePanel());
    ASSERT_NE(panel, nullptr);
    EXPECT_EQ(panel->TimeoutSpin()->value(), 10000);
    EXPECT_FALSE(panel->CommunitiesLink()->IsActive());
    panel->Check(3)->click();
    EXPECT_EQ(SheetOpenedBy(panel->CommunitiesLink()), "SNMP Communities");
    panel->RetriesSpin()->setValue(7);
    w.OnSave();
    prompt_.Clear();
    EXPECT_EQ(Saved().SnmpTimeout, 10000);
    EXPECT_EQ(Saved().SnmpRetries, 7);
    EXPECT_EQ(Saved().SnmpCommunitiesEnabled, 1);

    auto* communities = Sheet<CSettingsSnmpCommunities>(Saved());
    ASSERT_EQ(communities->List()->topLevelItemCount(), 2);
    EXPECT_EQ(communities->List()->topLevelItem(0)->text(0), "a/b");
    EXPECT_EQ(communities->List()->topLevelItem(0)->text(1), "WRITE ONLY");
    QTest::keyClicks(communities->CommunityEdit(), "Private");
    communities->RightsBox()->setCurrentIndex(1);
    communities->AddButton()->click();
    QTest::keyClicks(communities->CommunityEdit(), "PRIVATE");
    communities->AddButton()->click();
    EXPECT_EQ(Told(), std::vector<std::string>{std::string(LoadString(str::kItemExists))});
    sheet_->PressOk();
    EXPECT_EQ(Saved().SnmpCommunities, (std::vector<std::string>{"a/b/2", "plain/0", "Private/1"}));

    prompt_.Clear();
    auto* v3 = Sheet<CSettingsSnmpVersion3>(Saved());
    EXPECT_EQ(v3->AuthBox()->currentText(), "None");
    EXPECT_EQ(v3->PrivBox()->currentText(), "None");
    EXPECT_FALSE(v3->PrivBox()->isEnabled());
    EXPECT_EQ(v3->AuthPasswordEdit()->echoMode(), QLineEdit::Password);
    EXPECT_EQ(v3->PrivPasswordEdit()->echoMode(), QLineEdit::Password);
    v3->AuthBox()->setCurrentIndex(2);
    v3->PrivBox()->setCurrentIndex(2);
    QTest::keyClicks(v3->UserEdit(), "ops");
    QTest::keyClicks(v3->EngineIdEdit(), "xyz");
    EXPECT_TRUE(v3->IsModified());
    sheet_->PressOk();
    EXPECT_EQ(Told(), std::vector<std::string>{std::string(LoadString(str::kEngineIdInvalid))});
    v3->EngineIdEdit()->setText("80:00:1f:88:04");
    ASSERT_TRUE(sheet_->SetActivePage(1));
    auto* networks = static_cast<CSettingsSnmpNetworks*>(sheet_->Page(1));
    EXPECT_TRUE(networks->SpecificRadio()->isChecked());
    networks->AllRadio()->click();
    EXPECT_EQ(networks->List()->topLevelItemCount(), 0);
    sheet_->PressOk();
    const CTarvellDoc saved = Saved();
    EXPECT_EQ(saved.SnmpV3EngineId, "80:00:1f:88:04");
    EXPECT_EQ(saved.SnmpV3SecurityLevel, 3);
    EXPECT_EQ(saved.SnmpV3SecurityModel, 3);
    EXPECT_TRUE(saved.SnmpNetworks.empty()) << "all devices";
}

// ---- the list editor pages

TEST_F(ExclusionSheetsTest, RemovingOneRowKeepsEveryOtherEntryAsItWasStored) {
    using Field = std::vector<std::string> CTarvellDoc::*;
    using Open = std::function<CListEditorPage*(const CTarvellDoc&)>;
    const struct {
        const char* page;
        Field field;
        Open open;
        std::vector<std::string> entries;
    } cases[] = {
        {"Exclude MAC",
         &CTarvellDoc::UnmanagedMacs,
         [this](const CTarvellDoc& d) { return Sheet<CSettingsNodesMac>(d); },
         {"00A0C9FFFFFF", "not a mac", "00a0c9******"}},
        {"Exclude IP",
         &CTarvellDoc::UnmanagedIps,
         [this](const CTarvellDoc& d) { return Sheet<CSettingsNodesIp>(d); },
         {"10.1.2.3", "10.9.0.0/255.255.0.0", "10.0.0.0/255.0.0.0"}},
        {"Communities",
         &CTarvellDoc::SnmpCommunities,
         [this](const CTarvellDoc& d) { return Sheet<CSettingsSnmpCommunities>(d); },
         {"a/b/2", "plain/0", "x/7"}},
        {"Networks",
         &CTarvellDoc::SnmpNetworks,
         [this](const CTarvellDoc& d) { return Sheet<CSettingsSnmpNetworks>(d); },
         {"10.0.0.0/255.0.0.0", "172.16.0.0/255.240.0.0", "192.168.1.0"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.page);
        // The last case's hand-over copy would be read before the settings written here.
        std::filesystem::remove(JoinPath(JoinPath(server_, "handover"), "Tarvell.ini"));
        CTarvellDoc doc = DefaultSettings();
        doc.*c.field = c.entries;
        CListEditorPage* page = c.open(doc);
        QTest::mouseClick(page->RemoveLink(), Qt::LeftButton);
        EXPECT_FALSE(page->IsModified()) << "no row is selected";
        QTreeWidget* list = page->List();
        ASSERT_EQ(list->topLevelItemCount(), 3);
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                          list->visualItemRect(list->topLevelItem(1)).center());
        QTest::mouseClick(page->RemoveLink(), Qt::LeftButton);
        EXPECT_TRUE(page->IsModified());
        sheet_->PressOk();
        EXPECT_EQ(Saved().*c.field, (std::vector<std::string>{c.entries[0], c.entries[2]}));
    }
}

}  // namespace
}  // namespace tarvell::test
