// The prevention rows' pages offscreen, opened through the protection list as a user would.
#include <QApplication>
#include <QCheckBox>
#include <QHeaderView>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

#include "tests/viewer/core/ViewerFixture.h"
#include "viewer/core/protection/ProtectionRows.h"
#include "viewer/core/shell/CommandRouter.h"
#include "viewer/core/base/Prompt.h"
#include "viewer/core/base/StringTable.h"
#include "viewer/protection/CProtectionListWnd.h"
#include "viewer/protection/PreventionPagesUi.h"
#include "viewer/protection/ProtectionPages.h"
#include "viewer/widgets/CPropertySheet.h"
#include "viewer/widgets/CSortListCtrl.h"

namespace tarvell::test {
namespace {

class PreventionPagesUiTest : public ViewerFixture {
protected:
    void Start(const CTarvellDoc& settings) {
        WriteSettings(settings);
        CTarvellApp& app = StartApp();
        ASSERT_TRUE(app.ReloadDocument());
        app.SetReaderSettings(app.Document().Snapshot());
        context_ = std::make_unique<PageContext>(PageContext{app, router_, prompt_, {}, {}, {}});
        context_->serviceUserAccount = [] { return 1; };
        list_ = std::make_unique<CProtectionListWnd>(*context_);
        list_->SetMode(cmd::kIntrusionPrevention);
        list_->show();
        for (int i = 0; i < 100 && list_->FillPending(); ++i) QTest::qWait(2);
        RegisterPreventionPages();
    }
    // Opens row `row`'s page, runs `act` on it once shown, and returns the sheet's result.
    template <typename Page>
    int Open(int row, const std::function<void(Page&, CPropertySheet&)>& act) {
        QTimer::singleShot(0, [&] {
            auto* sheet = qobject_cast<CPropertySheet*>(QApplication::activeModalWidget());
            auto* page = sheet ? sheet->findChild<Page*>() : nullptr;
            if (page) act(*page, *sheet);
        });
        return OpenProtectionPage(cmd::kIntrusionPrevention, row, *list_);
    }
    void TearDown() override {
        for (int row = 0; row < 6; ++row) SetProtectionPage(cmd::kIntrusionPrevention, row, {});
        list_.reset();
        context_.reset();
        ViewerFixture::TearDown();
    }
    CommandRouter router_;
    PromptRecorder prompt_;
    std::unique_ptr<PageContext> context_;
    std::unique_ptr<CProtectionListWnd> list_;
};

TEST_F(PreventionPagesUiTest, AlertsGateTheirBoxesAndAMailLinkWithoutMailAsksToSetItUp) {
    CTarvellDoc settings;
    settings.SetDefaults();
    settings.PreventAlertsEnabled = 0;
    settings.EmailRecipients.clear();
    Start(settings);
    bool gated = false;
    const int result = Open<CProtectionPreventAlerts>(
        0, [&](CProtectionPreventAlerts& page, CPropertySheet& sheet) {
            gated = !page.Box(2)->isEnabled() && !page.Password()->isEnabled();
            page.Box(0)->setChecked(true);
            page.Box(4)->setChecked(true);
            gated = gated && page.Password()->isEnabled() && page.Box(2)->isEnabled();
            page.Password()->setText(QStringLiteral("pw"));
            page.Box(2)->setChecked(true);
            prompt_.Script({PromptAnswer::Yes});
            sheet.PressOk();
        });
    EXPECT_TRUE(gated);
    EXPECT_EQ(result, -1) << "Yes to 20035 ends the sheet";
    EXPECT_EQ(prompt_.Requests().back().text, LoadString(str::kEmailRequired));
    EXPECT_EQ(ShownSettings(context_->app)->PreventAlertsEnabled, 0) << "nothing written";
}

TEST_F(PreventionPagesUiTest, ScheduleAddSortsAndOkStoresTheServicesForm) {
    CTarvellDoc settings;
    settings.SetDefaults();
    Start(settings);
    std::vector<QString> days;
    const int result = Open<CProtectionPreventSchedule>(
        4, [&](CProtectionPreventSchedule& page, CPropertySheet& sheet) {
            page.Master()->setChecked(true);
            page.AddRow({*ParseScheduleDay("12/9/2026"), 3600, 7200});
            page.AddRow({0, *ParseScheduleTime("11:30:00 PM"), 86399});
            days.push_back(page.Rows()->Rows()->ItemText(0, 0));
            // The list had no column sort: "End Time" clicked, descending: 23:59:59 first.
            QHeaderView* header = page.Rows()->header();
            QTest::mouseClick(header->viewport(), Qt::LeftButton, {},
                              QPoint(header->sectionViewportPosition(2) + 5, header->height() / 2));
            days.push_back(page.Rows()->Rows()->ItemText(1, 0));
            EXPECT_EQ(page.Rows()->SortColumn(), 2);
            sheet.PressOk();
        });
    EXPECT_EQ(result, kSheetOk);
    EXPECT_EQ(days, (std::vector<QString>{"Every Day", "12/9/2026"}));
    const auto saved = ShownSettings(context_->app);
    ASSERT_EQ(saved->PreventionSchedule.size(), 2u);
    EXPECT_EQ(saved->PreventionSchedule[0], "0/23:30:00/23:59:59");
    EXPECT_TRUE(list_->RowActive(4));
}

TEST_F(PreventionPagesUiTest, UnblockingAndSnmpStoreWhatTheyShow) {
    CTarvellDoc settings;
    settings.SetDefaults();
    settings.SnmpV3Enabled = 1;
    Start(settings);
    EXPECT_EQ(Open<CProtectionPreventUnblock>(
                  5,
                  [&](CProtectionPreventUnblock& page, CPropertySheet& sheet) {
                      page.Master()->setChecked(true);
                      page.Minutes()->setValue(15);
                      sheet.PressOk();
                  }),
              kSheetOk);
    EXPECT_EQ(ShownSettings(context_->app)->UnblockAfterMinutes, 15);
    EXPECT_EQ(
        Open<CProtectionPreventSnmp>(2,
                                     [&](CProtectionPreventSnmp& page, CPropertySheet& sheet) {
                                         page.Master()->setChecked(true);
                                         page.Specific()->setChecked(true);
                                         page.Edit(0)->setText("1.3.6.1.2.1.2.2.1.7.9");
                                         page.Edit(1)->setText("2");
                                         page.Edit(2)->setText("1.3.6.1.2.1.2.2.1.7.9");
                                         page.Edit(3)->setText("1");
                                         sheet.PressOk();
                                     }),
        kSheetOk);
    const auto saved = ShownSettings(context_->app);
    EXPECT_EQ(saved->SnmpPreventionMethod, 0);
    EXPECT_EQ(saved->SnmpBlockQuery, "1.3.6.1.2.1.2.2.1.7.9/2");
    EXPECT_TRUE(list_->RowActive(2));
}

}  // namespace
}  // namespace tarvell::test
