// The Alerts panel and the SNMP trap and syslog option sheets offscreen, walked as a user would:
// links gated by their boxes, the target pages with Set Filters and Test, and what OK stores
// read back by the service's own channel readers.
#include <QApplication>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

#include "service/alerts/CScanAlertsSnmp.h"
#include "service/alerts/CScanAlertsSyslog.h"
#include "tests/viewer/core/ViewerFixture.h"
#include "viewer/core/service/ServiceControl.h"
#include "viewer/core/base/Prompt.h"
#include "viewer/core/base/StringTable.h"
#include "viewer/settings/AlertTargetsUi.h"
#include "viewer/settings/AlertsSettingsUi.h"
#include "viewer/settings/CSettingsWnd.h"
#include "viewer/settings/EmailAlertSettingsUi.h"
#include "viewer/settings/RunCommandsUi.h"
#include "viewer/widgets/CIpAddressCtrl.h"
#include "viewer/widgets/LinkLabel.h"
#include "viewer/widgets/Pickers.h"

namespace tarvell::test {
namespace {

class AlertSheetsTest : public ViewerFixture {
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
    CTarvellApp& Start(const CTarvellDoc& doc) {
        WriteSettings(doc);
        CTarvellApp& app = StartApp();
        EXPECT_TRUE(app.ReloadDocument());
        context_ = std::make_unique<PageContext>(PageContext{app, router_, prompt_, {}, {}});
        context_->service = &service_;
        return app;
    }
    CPropertySheet& Sheet(void (*add)(CPropertySheet&, CTarvellApp&, Prompt&, ServiceControl*)) {
        sheet_ = std::make_unique<CPropertySheet>(QStringLiteral("Options"));
        add(*sheet_, context_->app, prompt_, &service_);
        sheet_->show();
        return *sheet_;
    }
    template <class Page>
    Page* Show(int index) {
        EXPECT_TRUE(sheet_->SetActivePage(index));
        return static_cast<Page*>(sheet_->Page(index));
    }
    // The caption of the modal window `act` opened (after `inside` ran on it and it was
    // cancelled), empty when none opened.
    QString Modal(const std::function<void()>& act,
                  const std::function<void(QDialog&)>& inside = {}) {
        QString caption;
        QTimer::singleShot(0, [&] {
            if (auto* d = qobject_cast<QDialog*>(QApplication::activeModalWidget())) {
                caption = d->windowTitle();
                if (inside) inside(*d);
                if (d->isVisible()) d->reject();
            }
        });
        act();
        QCoreApplication::processEvents();
        return caption;
    }
    std::string LastMessage() const {
        return prompt_.Requests().empty() ? "" : prompt_.Requests().back().text;
    }
    CTarvellDoc Saved() const {
        CTarvellDoc saved;
        EXPECT_TRUE(saved.LoadFromFile(JoinPath(JoinPath(server_, "handover"), "Tarvell.ini")));
        return saved;
    }
    static void TypeAddress(CIpAddressCtrl* ip, const char* dotted) {
        const QStringList octets = QString::fromLatin1(dotted).split('.');
        for (int i = 0; i < 4; ++i) QTest::keyClicks(ip->Field(i), octets[i]);
    }
    static void DoubleClickRow(QTreeWidget* list, int row) {
        const QPoint at = list->visualItemRect(list->topLevelItem(row)).center();
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, at);
        QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, at);
    }

    FakeServiceBackend* fake_ = nullptr;
    ServiceControl service_{[] { return std::string(); },
                            [this](const std::string&) {
                                auto made = std::make_unique<FakeServiceBackend>();
                                made->SetState(kServiceRunning);
                                fake_ = made.get();
                                return std::unique_ptr<ServiceBackend>(std::move(made));
                            }};
    CommandRouter router_;
    PromptRecorder prompt_;
    std::unique_ptr<PageContext> context_;
    std::unique_ptr<CSettingsWnd> window_;
    std::unique_ptr<CPropertySheet> sheet_;
};

TEST_F(AlertSheetsTest, PanelLinksFollowTheirBoxesBeforeSaveAndSaveStoresTheDays) {
    CTarvellDoc doc = DefaultSettings();
    doc.EmailSubject.clear();
    doc.EmailBody.clear();
    doc.AlertRemoveDays = 0;
    doc.SyslogAlertsOn = 0;
    Start(doc);
    if (!HasSettingsSheet(QString::fromLatin1(kEmailOptionsSheet)))
        RegisterSettingsSheet(QString::fromLatin1(kEmailOptionsSheet), [](const SheetServices& s) {
            CPropertySheet sheet(QString::fromLatin1(kEmailOptionsSheet), s.parent);
            sheet.AddPage(new CPropertyPage(QStringLiteral("Account")));
            return sheet.DoModal() == kSheetOk;
        });
    window_ = std::make_unique<CSettingsWnd>(*context_, nullptr);
    router_.SetRoot(window_->Commands());
    window_->resize(900, 560);
    window_->show();
    router_.Send(cmd::kSettingsAlerts);
    auto* panel = qobject_cast<CAlertsSettingsPanel*>(window_->VisiblePanel());
    ASSERT_NE(panel, nullptr);
    panel->RemoveBox()->click();
    EXPECT_EQ(panel->DaysEdit()->text(), "30");
    panel->DaysEdit()->selectAll();
    QTest::keyClicks(panel->DaysEdit(), "0x");
    EXPECT_EQ(panel->DaysEdit()->text(), "0") << "digits only";
    EXPECT_FALSE(panel->RemoveBox()->isChecked());
    QTest::keyClicks(panel->DaysEdit(), "7");
    EXPECT_TRUE(panel->RemoveBox()->isChecked());
    panel->DaysSpin()->stepUp();
    EXPECT_EQ(panel->DaysEdit()->text(), "8");

    using P = CAlertsSettingsPanel;
    const auto click = [&](P::Channel c) {
        return Modal([&] { QTest::mouseClick(panel->ChannelLink(c), Qt::LeftButton); });
    };
    EXPECT_EQ(click(P::Syslog), "") << "box clear: the link does nothing";
    panel->ChannelBox(P::Syslog)->click();
    EXPECT_EQ(click(P::Syslog), kSyslogOptionsSheet) << "ticked, before any Save";
    panel->ChannelBox(P::Email)->click();
    EXPECT_EQ(click(P::Email), kEmailOptionsSheet);
    EXPECT_EQ(Saved().EmailSubject, "$alert") << "seeded though the sheet was cancelled";

    router_.Send(cmd::kSettingsSave);
    EXPECT_EQ(Saved().AlertRemoveDays, 8);
    EXPECT_EQ(Saved().SyslogAlertsOn + Saved().EmailAlertsEnabled, 2);
}

TEST_F(AlertSheetsTest, SyslogListenersWithFiltersTestAfterApplyAndTheServiceReadsThem) {
    CTarvellDoc doc = DefaultSettings();
    doc.SyslogStandardMode = 1;
    doc.SyslogListeners = {"10.0.0.1|5/00A0*;0/New*;", "10.0.0.3|0/x;"};
    Start(doc);
    CPropertySheet& sheet = Sheet(&AddSyslogOptionsPages);
    auto* syslog = Show<CSettingsAlertsSyslog>(0);
    syslog->SpecificRadio()->click();
    EXPECT_FALSE(syslog->FacilityBox()->isEditable()) << "a pure list";
    syslog->FacilityBox()->setCurrentIndex(3);
    emit syslog->FacilityBox()->activated(3);
    syslog->SeverityBox()->setCurrentIndex(4);
    emit syslog->SeverityBox()->activated(4);

    auto* page = Show<CSettingsAlertsListeners>(1);
    QTreeWidget* list = page->List();
    ASSERT_EQ(list->topLevelItemCount(), 2);
    EXPECT_EQ(list->topLevelItem(0)->text(1), "Enabled");
    EXPECT_FALSE(page->AddButton()->isEnabled()) << "the address is blank";
    TypeAddress(page->IpInput(), "10.0.0.1");
    QTest::mouseClick(page->AddButton(), Qt::LeftButton);
    EXPECT_EQ(LastMessage(), LoadString(str::kItemExists));
    page->IpInput()->ClearAddress();
    TypeAddress(page->IpInput(), "10.0.0.2");
    QTest::mouseClick(page->AddButton(), Qt::LeftButton);
    EXPECT_EQ(list->topLevelItemCount(), 3);
    EXPECT_FALSE(page->AddButton()->isEnabled()) << "emptied";

    // Row 0's filters: the dialog shows them in stored order; a pattern with ";" is refused.
    QStringList shown;
    const QString caption =
        Modal([&] { DoubleClickRow(list, 0); },
              [&](QDialog& d) {
                  auto& filters = static_cast<CSetFiltersDlg&>(d);
                  for (int i = 0; i < filters.Rows()->topLevelItemCount(); ++i)
                      shown << filters.Rows()->topLevelItem(i)->text(0) + "=" +
                                   filters.Rows()->topLevelItem(i)->text(1);
                  filters.Rows()->setCurrentItem(filters.Rows()->topLevelItem(0));
                  filters.RemoveLink()->activated(0);
                  filters.TypeBox()->setCurrentIndex(0);
                  QTest::keyClicks(filters.ValueEdit(), "a;b");
                  filters.AddFilter();
                  EXPECT_EQ(LastMessage(), LoadString(str::kFilterHasSeparator));
                  filters.ValueEdit()->clear();
                  QTest::keyClicks(filters.ValueEdit(), "Test*");
                  filters.AddFilter();
                  filters.accept();
              });
    EXPECT_EQ(caption, "Set Filters");
    EXPECT_EQ(shown, QStringList({"Source Mac=00A0*", "Alert=New*"}));
    // Row 2 (10.0.0.3) removed: its filters go with it.
    list->setCurrentItem(list->topLevelItem(1));
    page->RemoveLink()->activated(0);

    page->TestLink()->activated(0);
    EXPECT_EQ(LastMessage(), LoadString(str::kApplyBeforeTest));
    sheet.PressApply();
    // The service's next pass takes the hand-over copy over.
    const std::string ini = JoinPath(server_, "Tarvell.ini");
    ASSERT_EQ(
        std::rename(JoinPath(JoinPath(server_, "handover"), "Tarvell.ini").c_str(), ini.c_str()),
        0);
    page->TestLink()->activated(0);
    EXPECT_EQ(LastMessage(), LoadString(str::kTestSent));
    ASSERT_NE(fake_, nullptr);
    EXPECT_EQ(fake_->Codes(), std::vector<int>{kTestSyslog});

    CTarvellDoc saved;
    ASSERT_TRUE(saved.LoadFromFile(ini));
    EXPECT_EQ(saved.SyslogListeners,
              (std::vector<std::string>{"10.0.0.1|0/New*;0/Test*;", "10.0.0.2"}));
    EXPECT_EQ(SyslogPriority(saved, CAlertItem{}), 156) << "Local3, Warning";
}

TEST_F(AlertSheetsTest, SnmpEnterpriseTrapsNeedADottedIdAndManagersTestNeedsRows) {
    CTarvellDoc doc = DefaultSettings();
    doc.SnmpManagers.clear();
    Start(doc);
    CPropertySheet& sheet = Sheet(&AddSnmpOptionsPages);
    Show<CSettingsAlertsManagers>(1)->TestLink()->activated(0);
    EXPECT_EQ(LastMessage(), "There are currently no available managers found.");
    auto* snmp = Show<CSettingsAlertsSnmp>(0);
    snmp->EnterpriseRadio()->click();
    EXPECT_TRUE(snmp->V1Radio()->isChecked());
    QTest::keyClicks(snmp->CommunityEdit(), "e2e-ring");
    QTest::keyClicks(snmp->EnterpriseEdit(), "iso.3");
    sheet.PressOk();
    EXPECT_EQ(LastMessage(), LoadString(str::kEnterpriseIdInvalid));
    snmp->EnterpriseEdit()->clear();
    QTest::keyClicks(snmp->EnterpriseEdit(), ".1.3.6.1.4.1.99999");
    sheet.PressOk();
    EXPECT_EQ(TrapEnterprise(Saved()), "1.3.6.1.4.1.99999");
    EXPECT_EQ(TrapCommunity(Saved()), "e2e-ring");
}

TEST_F(AlertSheetsTest, TestRecipientsAndTestCommandsClickedAskForTheirChannelsTestAlert) {
    CTarvellDoc doc = DefaultSettings();
    doc.EmailRecipients = {"ops@example.org"};
    doc.RunCommands = {"stamp;/bin/true;;;;;"};
    Start(doc);
    Sheet([](CPropertySheet& s, CTarvellApp& a, Prompt& p, ServiceControl* c) {
        AddEmailOptionsPages(s, a, p, c);
        AddRunCommandsOptionsPages(s, a, p, DesktopFilePicker(), c);
    });
    for (auto [page, text, code] : {std::tuple{1, "Test recipients", kTestEmail},
                                    std::tuple{4, "Test commands", kTestRunCommand}}) {
        LinkLabel* test = Show<CTargetPage>(page)->TestLink();
        EXPECT_EQ(test->Text(), text);
        QTest::mouseClick(test, Qt::LeftButton);
        EXPECT_EQ(fake_ ? fake_->Codes().back() : 0, code) << LastMessage();
    }
}

}  // namespace
}  // namespace tarvell::test
