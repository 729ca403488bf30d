#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTreeWidget>

#include "platform/Files.h"
#include "tests/viewer/core/ViewerFixture.h"
#include "viewer/core/hub/ViewerDocument.h"
#include "viewer/core/base/StringTable.h"
#include "viewer/protection/CDevicesListDlg.h"
#include "viewer/protection/CLogonPropertiesDlg.h"
#include "viewer/protection/CNodePropertiesDlg.h"
#include "viewer/protection/CNodesCountDlg.h"
#include "viewer/protection/CUnauthorizedListDlg.h"
#include "viewer/widgets/CCheckListCtrl.h"
#include "viewer/widgets/CIpAddressCtrl.h"

namespace tarvell {
namespace {

using Strings = std::vector<std::string>;

class ScriptedPicker : public FilePicker {
public:
    std::string path;
    std::optional<QString> PickFile(QWidget*, const QString&) override {
        if (path.empty()) return std::nullopt;
        return QString::fromStdString(path);
    }
};

// The dialogs against a settings document kept here: each edit runs on `stored`, as the
// settings edit runs on the reloaded file.
class NodeDialogsTest : public ::testing::Test {
protected:
    NodeDialogServices Services() {
        NodeDialogServices s;
        s.devices = {{"00AABB000001", "10.0.0.10/core-1"}, {"00AABB000002", "10.0.0.9/edge-2"}};
        s.ports = {{"00AABB000001/1", "Gi0/1"},
                   {"00AABB000001/2", "Gi0/2"},
                   {"00AABB000002/1", "Fa0/1"},
                   {"00AABB000002/2", "Fa0/2"}};
        s.editSettings = [this](const std::function<void(CTarvellDoc&)>& edit) {
            ++edits;
            edit(stored);
            return EditResult::Saved;
        };
        s.prompt = &prompt;
        s.picker = &picker;
        return s;
    }
    std::vector<unsigned> Messages() const {
        std::vector<unsigned> ids;
        for (const auto& r : prompt.Requests())
            for (unsigned id :
                 {str::kSettingsInvalid, str::kLogonInvalid, str::kServiceAccountIsSystem})
                if (r.text == LoadString(id)) ids.push_back(id);
        return ids;
    }
    static void UserChecks(CCheckListCtrl* list, int row) {
        list->topLevelItem(row)->setCheckState(0, Qt::Checked);
    }

    CTarvellDoc stored;
    PromptRecorder prompt;
    ScriptedPicker picker;
    int edits = 0;
};

TEST_F(NodeDialogsTest, LogonOpensTheStoredAccountAndKeepsTheDialogOpenOnARefusal) {
    CLogonPropertiesDlg dialog(
        "a/b/c/", [] { return false; }, prompt);
    EXPECT_TRUE(dialog.specificRadio_->isChecked());
    EXPECT_EQ(dialog.password_->text(), "c");
    EXPECT_EQ(dialog.verify_->text(), "c");
    dialog.user_->setText("a/x");
    dialog.accept();
    dialog.serviceRadio_->click();
    EXPECT_FALSE(dialog.user_->isEnabled());
    dialog.accept();
    EXPECT_EQ(Messages(),
              (std::vector<unsigned>{str::kLogonInvalid, str::kServiceAccountIsSystem}));
    EXPECT_NE(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(dialog.Account(), "a/b/c/");
}

TEST_F(NodeDialogsTest, DevicesKeepAnUnknownKeyAndSortByAddress) {
    Strings chosen = {"00AABB000001", "GONE"};
    CDevicesListDlg dialog(chosen, Services().devices, prompt);
    ASSERT_EQ(dialog.list_->ItemCount(), 3);
    dialog.SortBy(1);  // first click: ascending
    EXPECT_EQ(dialog.list_->ItemText(0, 1), "10.0.0.9");
    EXPECT_EQ(dialog.list_->ItemText(2, 0), "GONE");
    dialog.CheckAll(false);
    dialog.accept();
    EXPECT_EQ(Messages(), std::vector<unsigned>{str::kSettingsInvalid});
    dialog.CheckAll(true);
    dialog.accept();
    EXPECT_EQ(chosen, (Strings{"00AABB000002", "00AABB000001", "GONE"}));
}

TEST_F(NodeDialogsTest, NodePropertiesTakeOnePortChosenByAddress) {
    const NodeDialogServices services = Services();
    NodeListEdit edit(NodeMode::List, {});
    CNodePropertiesDlg dialog(edit, "", "", services);
    dialog.mac_->setText("00AA0000000");
    dialog.accept();
    EXPECT_EQ(Messages(), std::vector<unsigned>{str::kSettingsInvalid});
    EXPECT_TRUE(edit.Nodes().empty());
    dialog.mac_->setText("00AA00000001");
    dialog.byAddressRadio_->click();
    EXPECT_FALSE(dialog.byName_->isEnabled());
    const int edge = dialog.byAddress_->findText("10.0.0.9");
    ASSERT_GE(edge, 0);
    dialog.byAddress_->setCurrentIndex(edge);
    emit dialog.byAddress_->activated(edge);
    ASSERT_EQ(dialog.ports_->ItemCount(), 2);
    UserChecks(dialog.ports_, 0);
    UserChecks(dialog.ports_, 1);
    EXPECT_FALSE(dialog.ports_->GetCheck(0));
    dialog.accept();
    EXPECT_EQ(edit.Apply({}), Strings{"00AA00000001/1;00AABB000002/2"});

    CNodePropertiesDlg again(edit, "00AA00000001", "00AABB000002/2", services);
    EXPECT_FALSE(again.mac_->isEnabled());
    ASSERT_EQ(again.ports_->ItemCount(), 2);
    EXPECT_TRUE(again.ports_->GetCheck(1));
}

TEST_F(NodeDialogsTest, UnauthorizedListSavesOnlyItsOwnChangesAndCancelDiscardsThem) {
    stored.NodesBlackList = {"00AA00000001/0;", "00AA00000001/1;", "00AA00000002/1;00AABB000001/1"};
    const CTarvellDoc opened = stored;
    {
        CUnauthorizedListDlg dialog("Unauthorized List", opened, &CTarvellDoc::NodesBlackList,
                                    &CTarvellDoc::BlackListImportFile, Services());
        EXPECT_EQ(dialog.group_->title(), "Current nodes (2)");
        dialog.list_->topLevelItem(0)->setSelected(true);
        dialog.RemoveNodes();
        dialog.reject();
    }
    EXPECT_EQ(edits, 0);
    const std::string dir = MakeTempFolder("tarvell-import-");
    picker.path = JoinPath(dir, "nodes.txt");
    ASSERT_TRUE(AtomicWriteFile(picker.path, "10.0.0.5;core-1/Gi0/2\n00AA00000003\n"));
    CUnauthorizedListDlg dialog("Unauthorized List", opened, &CTarvellDoc::NodesBlackList,
                                &CTarvellDoc::BlackListImportFile, Services());
    dialog.list_->topLevelItem(0)->setSelected(true);
    dialog.RemoveNodes();
    dialog.ImportNodes();
    EXPECT_EQ(dialog.group_->title(), "Current nodes (3)");
    dialog.fileBox_->setChecked(true);
    dialog.BrowseFile();
    stored.NodesBlackList.push_back("00AA00000009/0;");  // a block request meanwhile
    dialog.accept();
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(stored.NodesBlackList,
              (Strings{"00AA00000001/0;", "00AA00000002/1;00AABB000001/1", "00AA00000009/0;",
                       "10.0.0.5/1;00AABB000001/2", "00AA00000003/1;"}));
    EXPECT_EQ(stored.BlackListImportFile, picker.path);
    RemoveTree(dir);
}

TEST_F(NodeDialogsTest, CountDialogRewritesItsEntriesAndClearsBothFlags) {
    stored.NodeLocations = {"10.0.0.5;", "00AA00000001;00AABB000001/1",
                            "00AA00000001;00AABB000001/2"};
    stored.UnblockAuthorizeLocation = 1;
    int threshold = 4;
    CNodesCountDlg dialog(threshold, stored, Services());
    EXPECT_TRUE(dialog.specificPort_->isChecked());
    EXPECT_EQ(dialog.group_->title(), "Excluded Nodes (2)");
    dialog.threshold_->setValue(7);
    dialog.accept();
    EXPECT_EQ(stored.NodeLocations.size(), 3u);
    EXPECT_EQ(stored.UnblockAuthorizeLocation, 1);
    dialog.automatic_->click();  // off: neither
    EXPECT_FALSE(dialog.specificPort_->isEnabled());
    dialog.automatic_->click();  // on again: all ports
    EXPECT_TRUE(dialog.allPorts_->isChecked());
    dialog.automatic_->click();
    dialog.accept();
    EXPECT_EQ(stored.UnblockAuthorizeNode + stored.UnblockAuthorizeLocation, 0);
    EXPECT_EQ(stored.NodesCountThreshold, 0) << "the page's OK stores it";
    EXPECT_EQ(threshold, 7);
}

class NodeDialogsOnAServer : public test::ViewerFixture {};

TEST_F(NodeDialogsOnAServer, TheListOkReachesTheHandOverFile) {
    CTarvellDoc doc = DefaultSettings();
    doc.NodesWhiteList = {"00AA00000001/0;"};
    WriteSettings(doc);
    WriteEvents({});
    CTarvellApp& app = StartApp();
    ASSERT_TRUE(app.ReloadDocument());
    ASSERT_TRUE(app.LoadEvents());
    PromptRecorder prompt;
    ScriptedPicker picker;
    picker.path = JoinPath(root_, "nodes.txt");
    ASSERT_TRUE(AtomicWriteFile(picker.path, "00AA00000005 core/gi0/3\n"));
    CUnauthorizedListDlg dialog("Authorized List", *app.ReaderSettings(),
                                &CTarvellDoc::NodesWhiteList, &CTarvellDoc::WhiteListImportFile,
                                NodeDialogServicesOf(app, prompt, picker));
    dialog.ImportNodes();
    dialog.accept();
    ASSERT_EQ(dialog.result(), QDialog::Accepted);
    CTarvellDoc handed;
    ASSERT_TRUE(handed.LoadFromFile(ViewerDocument::HandOverPath(server_)));
    EXPECT_EQ(handed.NodesWhiteList, (Strings{"00AA00000001/0;", "00AA00000005/1;S1/3"}));
}

}  // namespace
}  // namespace tarvell
