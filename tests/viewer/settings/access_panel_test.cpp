// The Access panel offscreen: Guest on an empty list, "Add User" with its qualifier boxes and
// Browse, a rename after the Permissions page was seen, the Permissions sheet of a row, Delete of
// the last Access holder, and Save read back by the service's parser.
#include <QApplication>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

#include "tests/viewer/core/ViewerFixture.h"
#include "viewer/core/shell/CommandRouter.h"
#include "viewer/core/base/Prompt.h"
#include "viewer/core/base/StringTable.h"
#include "viewer/settings/CAccessSettingsPanel.h"
#include "viewer/widgets/CIpAddressCtrl.h"
#include "viewer/widgets/CSortListCtrl.h"
#include "viewer/widgets/LinkLabel.h"
#include "viewer/widgets/Pickers.h"
#include "viewer/widgets/ShellPage.h"

namespace tarvell::test {
namespace {

struct NoFolders : FolderPicker {
    std::optional<QString> PickFolder(QWidget*, const QString&) override { return {}; }
};
struct NoFiles : FilePicker {
    std::optional<QString> PickFile(QWidget*, const QString&) override { return {}; }
};
struct FirstHost : HostChooser {
    std::vector<std::string> offered;
    std::optional<QString> Choose(QWidget*, const QString&,
                                  const std::vector<std::string>& names) override {
        offered = names;
        return names.empty() ? std::nullopt
                             : std::optional<QString>(QString::fromStdString(names[0]));
    }
};

class AccessPanelTest : public ViewerFixture {
protected:
    void SetUp() override {
        ViewerFixture::SetUp();
        CTarvellDoc doc = DefaultSettings();
        doc.ViewerUsers.clear();
        WriteSettings(doc);
        CTarvellApp& app = StartApp();
        ASSERT_TRUE(app.ReloadDocument());
        app.ReadIdentity();
        context_ = std::make_unique<PageContext>(PageContext{app, router_, prompt_});
        SetAccessHostChooser(&hosts_);
        panel_.reset(static_cast<CAccessSettingsPanel*>(
            MakeSettingsPanel(cmd::kSettingsAccess, SheetServices{*context_, folders_, files_})));
        ASSERT_TRUE(panel_);
        panel_->resize(700, 480);
        panel_->show();
        panel_->LoadPanel();
    }
    void TearDown() override {
        SetAccessHostChooser(nullptr);
        panel_.reset();
        ViewerFixture::TearDown();
    }
    // Runs `act` on the sheet that `open` shows, then OK; a sheet still open after OK (refused)
    // is cancelled. Returns the sheet's caption.
    QString Sheet(const std::function<void(CPropertySheet&)>& act,
                  const std::function<void()>& open) {
        QString caption;
        QTimer::singleShot(0, [&] {
            auto* sheet = qobject_cast<CPropertySheet*>(QApplication::activeModalWidget());
            if (!sheet) return;
            caption = sheet->windowTitle();
            act(*sheet);
            sheet->PressOk();
            if (sheet->isVisible()) sheet->PressCancel();
        });
        open();
        return caption;
    }
    static CSettingsAccessPermissions* Permissions(CPropertySheet& sheet, int page) {
        EXPECT_TRUE(sheet.SetActivePage(page));
        return qobject_cast<CSettingsAccessPermissions*>(sheet.Page(page));
    }
    static void Click(CSettingsAccessPermissions* page, std::string_view text) {
        for (std::size_t i = 0; i < kPermissionItems; ++i)
            if (PermissionText(i) == text) {
                QTreeWidgetItem* item = page->Item(i);
                item->setCheckState(
                    0, item->checkState(0) == Qt::Checked ? Qt::Unchecked : Qt::Checked);
            }
    }
    int Row(const QString& name) const {
        for (int r = 0; r < panel_->List()->Rows()->rowCount(); ++r)
            if (panel_->List()->Rows()->ItemText(r, 0) == name) return r;
        return -1;
    }

    CommandRouter router_;
    PromptRecorder prompt_;
    NoFolders folders_;
    NoFiles files_;
    FirstHost hosts_;
    std::unique_ptr<PageContext> context_;
    std::unique_ptr<CAccessSettingsPanel> panel_;
};

TEST_F(AccessPanelTest, UsersAreAddedEditedDeletedAndSaved) {
    const std::string guest = GuestEntry();
    ASSERT_EQ(panel_->Users(), ViewerUsers{guest});
    EXPECT_EQ(panel_->List()->Rows()->ItemText(0, 1),
              "Built-in account for guest access to the selected Tarvell server");

    // Add User with the Permissions page never opened: the qualifier cascade, defaults kept.
    bool cascade = false;
    Sheet(
        [&](CPropertySheet& sheet) {
            auto* g = qobject_cast<CSettingsAccessUser*>(sheet.Page(0));
            g->NameEdit()->setText("bob");
            g->ComputerBox()->click();
            cascade = g->IpBox()->isEnabled() && g->MacBox()->isEnabled();
            g->ComputerBrowse()->click();
            cascade = cascade && !hosts_.offered.empty() &&
                      g->ComputerEdit()->text().toStdString() == hosts_.offered[0];
            g->IpBox()->click();
            cascade = cascade && g->ComputerEdit()->text().isEmpty() &&
                      !g->ComputerEdit()->isEnabled() && !g->MacEdit()->isEnabled() &&
                      g->IpEdit()->isEnabled();
            g->IpEdit()->SetText("10.1.2.3");
            g->IpBox()->click();
            cascade = cascade && g->IpEdit()->IsBlank() && !g->IpEdit()->isEnabled();
            g->ComputerBox()->click();
            g->MacBox()->click();
            g->MacEdit()->setText("001A2B3C4D5E");
            g->DescriptionEdit()->setPlainText("desk/top\nsecond");
        },
        [&] { panel_->AddButton()->click(); });
    EXPECT_TRUE(cascade);
    ASSERT_EQ(panel_->Users().size(), 2u);
    EXPECT_EQ(panel_->Users()[1], "bob@001A2B3C4D5E/desktop\r\nsecond;" + NewUserPermissions());

    // General -> Permissions -> a rename on General -> OK: the chosen permissions stay.
    Sheet(
        [&](CPropertySheet& sheet) {
            auto* g = qobject_cast<CSettingsAccessUser*>(sheet.Page(0));
            g->NameEdit()->setText("carol");
            CSettingsAccessPermissions* p = Permissions(sheet, 1);
            p->UncheckAllLink()->activated(0);
            Click(p, "Snmp Settings");
            ASSERT_TRUE(sheet.SetActivePage(0));
            g->NameEdit()->setText("carol2");
        },
        [&] { panel_->AddButton()->click(); });
    ASSERT_EQ(panel_->Users().size(), 3u);
    EXPECT_EQ(panel_->Users()[2], "carol2/;Snmp Settings;");

    // The row's sheet: only Nodes Settings for bob.
    panel_->List()->SelectRow(Row("bob@001A2B3C4D5E"));
    const QString caption = Sheet(
        [&](CPropertySheet& sheet) {
            CSettingsAccessPermissions* p = Permissions(sheet, 0);
            p->UncheckAllLink()->activated(0);
            Click(p, "Nodes Settings");
        },
        [&] {
            emit panel_->List()->doubleClicked(
                panel_->List()->model()->index(Row("bob@001A2B3C4D5E"), 1));
        });
    EXPECT_EQ(caption, "bob@001A2B3C4D5E");
    EXPECT_EQ(PermissionPart(panel_->Users()[1]), "Nodes Settings;");

    // The only Access holder: neither its Permissions nor its Delete may drop it.
    panel_->List()->SelectRow(Row("Guest"));
    Sheet([&](CPropertySheet& sheet) { Permissions(sheet, 0)->UncheckAllLink()->activated(0); },
          [&] { panel_->EditPermissions(); });
    panel_->DeleteSelected();
    EXPECT_EQ(panel_->Users()[0], guest);
    ASSERT_EQ(prompt_.Requests().size(), 2u);
    for (const auto& r : prompt_.Requests())
        EXPECT_EQ(r.text, LoadString(str::kAccessHolderNeeded));

    // Save, read back by the service's parser; Delete then leaves a holder.
    ASSERT_EQ(SaveVisiblePanel(context_->app, *panel_->Document()), str::kSettingsSaved);
    CTarvellDoc saved;
    ASSERT_TRUE(saved.LoadFromFile(JoinPath(JoinPath(server_, "handover"), "Tarvell.ini")));
    EXPECT_EQ(saved.ViewerUsers, panel_->Users());
    EXPECT_EQ(saved.HtmlExportOn, 0);
    panel_->List()->SelectRow(Row("carol2"));
    panel_->DeleteSelected();
    EXPECT_EQ(panel_->Users().size(), 2u);
}

}  // namespace
}  // namespace tarvell::test
