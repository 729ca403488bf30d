#include <QApplication>
#include <QTest>
#include <QTextEdit>
#include <QTimer>
#include <gtest/gtest.h>

#include "platform/Files.h"
#include "tests/viewer/core/ViewerFixture.h"
#include "viewer/core/shell/CommandRouter.h"
#include "viewer/core/base/Prompt.h"
#include "viewer/protection/CProtectionListWnd.h"
#include "viewer/protection/CProtectionSummaryWnd.h"
#include "viewer/protection/ProtectionPages.h"
#include "viewer/widgets/CPaintListCtrl.h"
#include "viewer/widgets/CPropertySheet.h"
#include "viewer/widgets/LinkLabel.h"

namespace tarvell::test {
namespace {

// A page whose OK turns on one new-node detection and, once saved, its row's image.
class NewMacPage : public CPropertyPage {
public:
    explicit NewMacPage(CProtectionListWnd& list)
        : CPropertyPage(QStringLiteral("New")), list_(list) {}
    bool OnOK() override {
        SaveProtectionPage(list_, 1, [](CTarvellDoc& d) { d.NewMacEnabled = 1; });
        return true;
    }

private:
    CProtectionListWnd& list_;
};

class ProtectionPagesTest : public ViewerFixture {
protected:
    void SetUp() override {
        ViewerFixture::SetUp();
        CTarvellDoc settings;
        settings.DetectionEnabled = 1;
        WriteSettings(settings);
        CTarvellApp& app = StartApp();
        ASSERT_TRUE(app.ReloadDocument());
        app.SetReaderSettings(app.Document().Snapshot());
        context_ = std::make_unique<PageContext>(PageContext{app, router_, prompt_, {}});
        context_->showInformation = [this](const QString& title, const QString& html, QWidget*) {
            shown_.push_back(title + "|" + html.left(40));
        };
    }
    void TearDown() override {
        SetProtectionPage(cmd::kIntrusionDetection, 1, {});
        context_.reset();
        ViewerFixture::TearDown();
    }
    // The list shown in `mode`, after its fill.
    std::unique_ptr<CProtectionListWnd> Shown(CommandId mode) {
        auto page = std::make_unique<CProtectionListWnd>(*context_);
        page->resize(1000, 600);
        Show(*page, mode);
        return page;
    }
    static void Show(CProtectionListWnd& page, CommandId mode) {
        page.hide();
        page.SetMode(mode);
        page.show();
        for (int i = 0; i < 100 && page.FillPending(); ++i) QTest::qWait(2);
    }
    static QString Details(CProtectionListWnd& page) {
        return page.VisibleDetails()->Details()->toPlainText();
    }

    CommandRouter router_;
    PromptRecorder prompt_;
    std::unique_ptr<PageContext> context_;
    std::vector<QString> shown_;
};

TEST_F(ProtectionPagesTest, SwitchingModesRefillsTheRowsAndChangesTheStatusLine) {
    auto page = Shown(cmd::kIntrusionDetection);
    ASSERT_EQ(page->List()->Rows()->rowCount(), 6);
    EXPECT_TRUE(page->List()->Rows()->ItemText(0, 0).startsWith("Unauthorized Nodes Detection\n"));
    EXPECT_EQ(page->Status()->Title(), QStringLiteral("Intrusion Detection"));
    EXPECT_EQ(page->Status()->StateText(), QStringLiteral("Active"));
    EXPECT_TRUE(page->DetectionDetails()->isVisible());
    const int fills = page->Fills();
    Show(*page, cmd::kIntrusionPrevention);
    EXPECT_EQ(page->Fills(), fills + 1);
    EXPECT_TRUE(
        page->List()->Rows()->ItemText(5, 0).startsWith("Automatic Unblocking Prevention\n"));
    EXPECT_EQ(page->Status()->Title(), QStringLiteral("Intrusion Prevention"));
    EXPECT_EQ(page->Status()->StateText(), QStringLiteral("In-active"));
    EXPECT_EQ(page->Status()->Link()->Text(), QStringLiteral("Activate"));
    EXPECT_TRUE(page->PreventionDetails()->isVisible());
    EXPECT_FALSE(page->DetectionDetails()->isVisible());
    for (int row = 0; row < 6; ++row) EXPECT_FALSE(page->RowActive(row));
}

TEST_F(ProtectionPagesTest, ATestPagesOkTurnsRowOneActiveWithoutARefillOnlyWhenSaved) {
    auto page = Shown(cmd::kIntrusionDetection);
    SetProtectionPage(cmd::kIntrusionDetection, 1,
                      [](CProtectionListWnd& list) { return new NewMacPage(list); });
    auto pressOk = [] {
        QTimer::singleShot(0, [] {
            if (auto* sheet = qobject_cast<CPropertySheet*>(QApplication::activeModalWidget()))
                sheet->PressOk();
        });
    };
    // Rows without a page do nothing.
    EXPECT_EQ(OpenProtectionPage(cmd::kIntrusionDetection, 2, *page), 0);
    // A save that cannot land keeps the image.
    ASSERT_TRUE(AtomicWriteFile(JoinPath(server_, "handover"), "x"));
    pressOk();
    page->List()->SelectRow(1);
    page->DetectionDetails()->Edit();
    EXPECT_FALSE(page->RowActive(1));
    ASSERT_EQ(prompt_.Requests().size(), 1u);
    EXPECT_NE(prompt_.Requests()[0].text.find("failed saving the settings"), std::string::npos);
    RemoveFile(JoinPath(server_, "handover"));
    const int fills = page->Fills();
    pressOk();
    EXPECT_EQ(OpenProtectionPage(cmd::kIntrusionDetection, 1, *page), kSheetOk);
    EXPECT_TRUE(page->RowActive(1));
    EXPECT_FALSE(page->RowActive(0));
    EXPECT_EQ(page->Fills(), fills);
    QTest::qWait(5);  // the save's notice refreshes the images, it does not refill
    EXPECT_TRUE(page->RowActive(1));
    EXPECT_EQ(page->Fills(), fills);
}

TEST_F(ProtectionPagesTest, DetailsFollowTheSelectionByIndex) {
    auto page = Shown(cmd::kIntrusionDetection);
    int opened = 0;
    SetProtectionPage(cmd::kIntrusionDetection, 1, [&](CProtectionListWnd&) {
        ++opened;
        return nullptr;
    });
    // No selection: Edit and Learn more do nothing and the default text shows.
    page->DetectionDetails()->Edit();
    page->DetectionDetails()->LearnMore();
    EXPECT_EQ(opened, 0);
    EXPECT_TRUE(shown_.empty());
    EXPECT_TRUE(Details(*page).startsWith("The real-time intrusion detection screen"));
    EXPECT_FALSE(page->DetectionDetails()->Actions()->isVisible());

    const QRect row5 = page->List()->visualRect(page->List()->Rows()->index(5, 0));
    QTest::mouseClick(page->List()->viewport(), Qt::LeftButton, {}, row5.center());
    EXPECT_TRUE(
        Details(*page).startsWith("Linkup Script Detection\n\nDescription: Detect nodes linkup"));
    EXPECT_TRUE(page->DetectionDetails()->Actions()->isVisible());
    // The down arrow on the last row shows nothing new; the up arrow shows the row before.
    QTest::keyClick(page->List(), Qt::Key_Down);
    EXPECT_TRUE(Details(*page).startsWith("Linkup Script Detection"));
    QTest::keyClick(page->List(), Qt::Key_Up);
    EXPECT_TRUE(Details(*page).startsWith("Linkup WMI Detection"));
    page->DetectionDetails()->LearnMore();
    ASSERT_EQ(shown_.size(), 1u);
    EXPECT_TRUE(shown_[0].startsWith("Protection Information|<style"));
    page->List()->SelectRow(1);
    page->DetectionDetails()->Edit();
    EXPECT_EQ(opened, 1);
}

TEST_F(ProtectionPagesTest, TheOverviewReadsActiveWithinOneRefreshAfterAStatusClick) {
    CProtectionSummaryWnd overview(context_->app, nullptr);
    overview.resize(900, 500);
    overview.show();
    EXPECT_EQ(overview.Information()->DetectState(), QStringLiteral("Active"));
    EXPECT_EQ(overview.Information()->PreventState(), QStringLiteral("In-active"));

    auto page = Shown(cmd::kIntrusionPrevention);
    emit page->Status()->Link()->activated(0);
    EXPECT_EQ(page->Status()->StateText(), QStringLiteral("Active"));
    EXPECT_EQ(page->Status()->Link()->Text(), QStringLiteral("Deactivate"));
    overview.Information()->Refresh();
    EXPECT_EQ(overview.Information()->PreventState(), QStringLiteral("Active"));

    // A failed click leaves the switch and its texts as they were.
    RemoveFile(JoinPath(server_, "Tarvell.ini"));
    RemoveTree(JoinPath(server_, "handover"));
    EXPECT_EQ(page->Status()->Toggle(), EditResult::ReloadFailed);
    EXPECT_EQ(page->Status()->StateText(), QStringLiteral("Active"));
    EXPECT_EQ(page->Status()->Link()->Text(), QStringLiteral("Deactivate"));
    ASSERT_EQ(prompt_.Requests().size(), 1u);
    EXPECT_NE(prompt_.Requests()[0].text.find("failed reading the settings"), std::string::npos);
}

}  // namespace
}  // namespace tarvell::test
