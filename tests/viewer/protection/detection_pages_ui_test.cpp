#include <QApplication>
#include <QComboBox>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QRadioButton>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

#include "tests/viewer/core/ViewerFixture.h"
#include "viewer/core/protection/ProtectionRows.h"
#include "viewer/core/shell/CommandRouter.h"
#include "viewer/core/base/Prompt.h"
#include "viewer/protection/CProtectionListWnd.h"
#include "viewer/protection/CProtectionDetectChanges.h"
#include "viewer/protection/CProtectionDetectScript.h"
#include "viewer/protection/CProtectionDetectThreats.h"
#include "viewer/protection/CProtectionDetectUnauthorized.h"
#include "viewer/protection/CProtectionDetectWmi.h"
#include "viewer/protection/CWmiPropertiesDlg.h"
#include "viewer/protection/CWmiValueDlg.h"
#include "viewer/protection/DetectionPagesUi.h"
#include "viewer/protection/ProtectionPages.h"
#include "viewer/widgets/CPropertySheet.h"
#include "viewer/widgets/CSortListCtrl.h"
#include "viewer/widgets/LinkLabel.h"

namespace tarvell::test {
namespace {

class DetectionPagesUiTest : public ViewerFixture {
protected:
    void Start(const CTarvellDoc& settings, int serviceUserAccount = 0) {
        WriteSettings(settings);
        CTarvellApp& app = StartApp();
        ASSERT_TRUE(app.ReloadDocument());
        app.SetReaderSettings(app.Document().Snapshot());
        context_ = std::make_unique<PageContext>(PageContext{app, router_, prompt_, {}, {}, {}});
        context_->serviceUserAccount = [serviceUserAccount] { return serviceUserAccount; };
        list_ = std::make_unique<CProtectionListWnd>(*context_);
        list_->SetMode(cmd::kIntrusionDetection);
        list_->show();
        for (int i = 0; i < 100 && list_->FillPending(); ++i) QTest::qWait(2);
        RegisterDetectionPages();
    }
    void TearDown() override {
        for (int row = 0; row < kProtectionRows; ++row)
            SetProtectionPage(cmd::kIntrusionDetection, row, {});
        SetSelectDevicesHook({});
        list_.reset();
        context_.reset();
        ViewerFixture::TearDown();
    }
    // Runs `walk` on the row's page once its sheet shows; returns the sheet's result.
    template <class Page, class Fn>
    int Walk(int row, Fn walk) {
        QTimer::singleShot(0, [walk] {
            auto* sheet = qobject_cast<CPropertySheet*>(QApplication::activeModalWidget());
            auto* page = sheet ? sheet->findChild<Page*>() : nullptr;
            if (page) walk(*sheet, *page);
            if (sheet && sheet->isVisible()) sheet->PressCancel();
        });
        return OpenProtectionPage(cmd::kIntrusionDetection, row, *list_);
    }
    // Runs `step` on the next modal dialog of type Dialog.
    template <class Dialog, class Step>
    static void OnDialog(Step step) {
        QTimer::singleShot(0, [step] {
            if (auto* d = qobject_cast<Dialog*>(QApplication::activeModalWidget())) step(*d);
        });
    }
    CommandRouter router_;
    PromptRecorder prompt_;
    std::unique_ptr<PageContext> context_;
    std::unique_ptr<CProtectionListWnd> list_;
};

// Opened on a document with Changed Port on: its link alone shows; the master unticked disables
// the sub-protections and hides the link, and OK stores them off with the row In-active.
TEST_F(DetectionPagesUiTest, ChangesMasterUntickThenOk) {
    CTarvellDoc settings;
    settings.ChangedPortEnabled = 1;
    settings.ChangedPortDevices = {"00AABB000001"};
    settings.ChangedUserDevices = {"kept-off"};
    Start(settings);
    ASSERT_TRUE(list_->RowActive(2));
    bool seen = false;
    QTimer::singleShot(0, [&] {
        auto* sheet = qobject_cast<CPropertySheet*>(QApplication::activeModalWidget());
        auto* page = sheet ? sheet->findChild<CProtectionDetectChanges*>() : nullptr;
        if (!page) return;
        seen = page->Master()->isChecked() && page->Sub(3)->isChecked() &&
               !page->Link(3)->isHidden() && page->Link(2)->isHidden() && page->Sub(2)->isEnabled();
        page->Master()->setChecked(false);
        seen =
            seen && !page->Sub(3)->isEnabled() && page->Link(3)->isHidden() && page->IsModified();
        sheet->PressOk();
    });
    EXPECT_EQ(OpenProtectionPage(cmd::kIntrusionDetection, 2, *list_), kSheetOk);
    EXPECT_TRUE(seen);
    EXPECT_FALSE(list_->RowActive(2));
    const auto saved = ShownSettings(context_->app);
    EXPECT_EQ(saved->ChangedPortEnabled, 0);
    EXPECT_TRUE(saved->ChangedPortDevices.empty() && saved->ChangedUserDevices.empty());
}

// OK with the script ticked and no file tells 20021 and keeps the sheet open; with a file (the
// service under an account of its own) it saves and the row turns Active.
TEST_F(DetectionPagesUiTest, ScriptOkWithoutAFileKeepsTheSheetOpen) {
    Start(CTarvellDoc{}, 1);
    bool stayed = false;
    QTimer::singleShot(0, [&] {
        auto* sheet = qobject_cast<CPropertySheet*>(QApplication::activeModalWidget());
        auto* page = sheet ? sheet->findChild<CProtectionDetectScript*>() : nullptr;
        if (!page) return;
        page->Master()->setChecked(true);
        page->Sub()->setChecked(true);
        sheet->PressOk();
        stayed = sheet->isVisible() && prompt_.Requests().size() == 1u;
        page->File()->setText(QStringLiteral("/opt/linkup.sh"));
        sheet->PressOk();
        if (sheet->isVisible()) sheet->PressCancel();
    });
    EXPECT_EQ(OpenProtectionPage(cmd::kIntrusionDetection, 5, *list_), kSheetOk);
    EXPECT_TRUE(stayed);
    ASSERT_FALSE(prompt_.Requests().empty());
    EXPECT_NE(prompt_.Requests()[0].text.find("required information"), std::string::npos);
    EXPECT_TRUE(list_->RowActive(5));
    EXPECT_EQ(ShownSettings(context_->app)->LinkupScriptFile, "/opt/linkup.sh");
}

// Unauthorized: Select Devices left with Cancel is no change, its OK is; OK stores the key.
TEST_F(DetectionPagesUiTest, UnauthorizedSelectDevicesMarksModifiedOnlyOnOk) {
    CTarvellDoc settings;
    settings.BlackListEnabled = 1;
    Start(settings);
    bool accept = false;
    SetSelectDevicesHook([&accept](QWidget*, std::vector<std::string>& keys) {
        if (accept) keys = {"00AABB000001"};
        return accept;
    });
    std::vector<bool> modified;
    const int result =
        Walk<CProtectionDetectUnauthorized>(0, [&](CPropertySheet& sheet, auto& page) {
            modified.push_back(!page.Link(0)->isHidden() && page.Link(1)->isHidden() &&
                               page.Manage(0)->isEnabled() && !page.Manage(2)->isEnabled());
            emit page.Link(0)->activated(0);
            modified.push_back(page.IsModified());
            accept = true;
            emit page.Link(0)->activated(0);
            modified.push_back(page.IsModified());
            sheet.PressOk();
        });
    EXPECT_EQ(result, kSheetOk);
    EXPECT_EQ(modified, (std::vector<bool>{true, false, true}));
    EXPECT_EQ(ShownSettings(context_->app)->BlackListDevices,
              std::vector<std::string>{"00AABB000001"});
    EXPECT_TRUE(list_->RowActive(0));
}

// Threats: ticking puts 1 in the box, letters are refused, 250 is stored and the row Active.
TEST_F(DetectionPagesUiTest, ThreatsTypedValue) {
    Start(CTarvellDoc{});
    std::vector<QString> seen;
    const int result = Walk<CProtectionDetectThreats>(3, [&](CPropertySheet& sheet, auto& page) {
        page.Master()->setChecked(true);
        page.Sub(0)->setChecked(true);
        seen.push_back(page.Box(0)->Text());
        page.Box(0)->selectAll();
        QTest::keyClicks(page.Box(0), QStringLiteral("2x50"));
        seen.push_back(page.Box(0)->Text());
        sheet.PressOk();
    });
    EXPECT_EQ(result, kSheetOk);
    EXPECT_EQ(seen, (std::vector<QString>{"1", "250"}));
    EXPECT_EQ(ShownSettings(context_->app)->ReceiveThreshold, 250);
    EXPECT_TRUE(list_->RowActive(3));
}

// WMI: entries open as rows (an unreadable one raw); the dialogs refuse an unknown name and "a|b";
// two sorts reverse the rows; OK stores them in list order, the unreadable entry unchanged.
TEST_F(DetectionPagesUiTest, WmiConditionsWalk) {
    CTarvellDoc settings;
    settings.WmiConditions = {"3;KB1|KB2", "12;x"};
    settings.WmiNodesMode = "1";
    settings.WmiDevices = {"00AABB000001"};
    Start(settings, 1);
    std::vector<QString> opened, sorted;
    std::size_t refusals = 0;
    const int result = Walk<CProtectionDetectWmi>(4, [&](CPropertySheet& sheet, auto& page) {
        auto* rows = page.Rows()->Rows();
        opened = {rows->ItemText(0, 0), rows->ItemText(0, 1), rows->ItemText(1, 1)};
        opened.push_back(page.Mode(1)->isChecked() ? "mode 1" : "");
        OnDialog<CWmiPropertiesDlg>([&](CWmiPropertiesDlg& d) {
            opened.push_back(d.Values()->item(0)->text() + d.Values()->item(1)->text());
            d.reject();
        });
        page.RunProperties(0);
        OnDialog<CWmiPropertiesDlg>([&](CWmiPropertiesDlg& d) {
            d.Property()->setEditText(QStringLiteral("hotfixes"));
            d.accept();
            d.Property()->setEditText(QStringLiteral("service name"));
            OnDialog<CWmiValueDlg>([](CWmiValueDlg& v) {
                v.Edit()->setPlainText(QStringLiteral("a|b"));
                v.accept();
                v.Edit()->setPlainText(QStringLiteral("Browser"));
                v.accept();
            });
            d.RunValue(-1);
            d.accept();
        });
        page.RunProperties(-1);
        refusals = prompt_.Requests().size();
        page.SortBy(0);
        for (int i = 0; i < rows->rowCount(); ++i) sorted.push_back(rows->ItemText(i, 0));
        page.SortBy(0);
        for (int i = 0; i < rows->rowCount(); ++i) sorted.push_back(rows->ItemText(i, 0));
        sheet.PressOk();
    });
    EXPECT_EQ(result, kSheetOk);
    EXPECT_EQ(opened, (std::vector<QString>{"Hot Fix", "KB1|KB2", "12;x", "mode 1", "KB1KB2"}));
    EXPECT_EQ(refusals, 2u);
    EXPECT_EQ(sorted,
              (std::vector<QString>{"", "Hot Fix", "Service Name", "Service Name", "Hot Fix", ""}));
    const auto saved = ShownSettings(context_->app);
    EXPECT_EQ(saved->WmiConditions, (std::vector<std::string>{"4;Browser", "3;KB1|KB2", "12;x"}));
    EXPECT_EQ(saved->WmiNodesMode, "1");
    EXPECT_EQ(saved->WmiDevices, std::vector<std::string>{"00AABB000001"});
    EXPECT_TRUE(list_->RowActive(4));
}

}  // namespace
}  // namespace tarvell::test
