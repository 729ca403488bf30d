#include <QApplication>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

#include "tests/viewer/core/ViewerFixture.h"
#include "viewer/core/protection/ProtectionRows.h"
#include "viewer/core/shell/CommandRouter.h"
#include "viewer/core/shell/Prompt.h"
#include "viewer/protection/CProtectionListWnd.h"
#include "viewer/protection/DetectionPagesUi.h"
#include "viewer/protection/ProtectionPages.h"
#include "viewer/widgets/CPropertySheet.h"
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
        SetProtectionPage(cmd::kIntrusionDetection, 1, {});
        SetProtectionPage(cmd::kIntrusionDetection, 2, {});
        SetProtectionPage(cmd::kIntrusionDetection, 5, {});
        list_.reset();
        context_.reset();
        ViewerFixture::TearDown();
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

}  // namespace
}  // namespace tarvell::test
