#include <QApplication>
#include <QSignalSpy>
#include <QTest>
#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "platform/Files.h"
#include "tests/support/HeaderClick.h"
#include "tests/viewer/core/ViewerFixture.h"
#include "viewer/alerts/AlertArchivePicker.h"
#include "viewer/alerts/AlertsPanels.h"
#include "viewer/alerts/CAlertsListWnd.h"
#include "viewer/alerts/CAlertsSummaryWnd.h"
#include "viewer/core/base/Prompt.h"
#include "viewer/core/base/StringTable.h"
#include "viewer/widgets/CPaintListCtrl.h"
#include "viewer/widgets/LinkLabel.h"
#include "viewer/alerts/AlertListModel.h"

namespace tarvell::test {
namespace {

struct ScriptedPicker : ArchivePicker {
    QString save, open;
    QString SavePath(QWidget*) override { return save; }
    QString OpenPath(QWidget*) override { return open; }
};

CAlertItem At(std::string category, std::string ip, std::string type = "New Mac") {
    CAlertItem a = MakeAlert(std::move(category));
    a.Description = std::move(type);
    a.DeviceIp = std::move(ip);
    return a;
}

class AlertsScreenTest : public ViewerFixture {
protected:
    // Detection 100.1, 100.2 (one second), 90.1; prevention 95.1.
    CTarvellApp& Connected() {
        WriteSettings(DefaultSettings());
        WriteAlerts({{"1700000100.1", At("Detection", "10.0.0.10")},
                     {"1700000100.2", At("Detection", "10.0.0.9")},
                     {"1700000090.1", At("Detection", "bad")},
                     {"1700000095.1", At("Prevention", "10.0.0.1", "Manual Blocking")}});
        CTarvellApp& app = StartApp();
        EXPECT_TRUE(app.ReloadDocument());
        app.LoadAlerts();
        return app;
    }
    std::unique_ptr<CAlertsListWnd> Shown(CTarvellApp& app, CommandId mode) {
        AlertDialogs dialogs;
        dialogs.report = [this](QWidget*, const QString& caption, const QString&,
                                const ReportTable& table) {
            reportCaption_ = caption;
            report_ = table;
            return nullptr;
        };
        auto wnd = std::make_unique<CAlertsListWnd>(app, prompt_, dialogs);
        wnd->SetPicker(&picker_);
        wnd->resize(1000, 600);
        wnd->SetMode(mode);
        wnd->show();
        EXPECT_TRUE(QTest::qWaitFor([&] { return !wnd->FillPending(); }, 2000));
        return wnd;
    }
    static std::vector<std::string> Keys(const CAlertsListWnd& w) {
        std::vector<std::string> keys;
        for (int r = 0; r < w.Rows()->rowCount(); ++r) keys.push_back(w.RowKey(r));
        return keys;
    }
    static void Click(CAlertsListWnd& w, int row) {
        const QRect r = row < 0 ? QRect(10, w.List().viewport()->height() - 5, 1, 1)
                                : w.List().visualRect(w.Rows()->index(row, 1));
        QTest::mouseClick(w.List().viewport(), Qt::LeftButton, {}, r.center());
    }

    PromptRecorder prompt_;
    ScriptedPicker picker_;
    QString reportCaption_;
    ReportTable report_;
};

TEST_F(AlertsScreenTest, FillSelectionDetailsAndTheClickBesideTheRows) {
    CTarvellApp& app = Connected();
    auto w = Shown(app, kDetectionAlertsMode);
    EXPECT_EQ(Keys(*w), (std::vector<std::string>{"1700000100.2", "1700000100.1", "1700000090.1"}));
    EXPECT_EQ(w->Header()->CountText(), QStringLiteral("3"));
    EXPECT_EQ(w->Header()->TitleText(), QStringLiteral("Detection Alerts"));
    EXPECT_TRUE(w->ReportPanel()->isVisible());
    QApplication::processEvents();  // the columns follow the rows
    int widths = 0;
    for (int c = 0; c < 5; ++c) widths += w->List().columnWidth(c);
    EXPECT_EQ(widths, w->List().viewport()->width()) << "the Alert column takes the rest";

    CAlertDetailsPanel* details = w->DetailsPanel();
    // Two rows of one second: each shows its own alert (here told apart by the device address).
    Click(*w, 1);
    EXPECT_TRUE(details->HasSelection());
    EXPECT_TRUE(details->Actions()->isVisible());
    EXPECT_TRUE(details->PaneText().contains(QStringLiteral("\n\nOccurred on: ")))
        << details->PaneText().toStdString();
    EXPECT_EQ(w->Rows()->ItemText(1, 2), QStringLiteral("10.0.0.10"));
    QTest::keyClick(&w->List(), Qt::Key_Up);
    EXPECT_EQ(w->List().SelectedRow(), 0);
    EXPECT_EQ(w->Rows()->ItemText(0, 2), QStringLiteral("10.0.0.9"));

    Click(*w, -1);  // beside the rows
    EXPECT_FALSE(details->HasSelection());
    EXPECT_FALSE(details->Actions()->isVisible());
    EXPECT_EQ(details->PaneText(), CAlertDetailsPanel::Description(kDetectionAlertsMode));
}

// Many rows removed at once leave in one layout change, which announces no removal of its own:
// the count still follows.
TEST_F(AlertsScreenTest, RemovingManySelectedRowsLowersTheCount) {
    CTarvellApp& app = Connected();
    std::map<std::string, CAlertItem> alerts;
    for (int i = 0; i < 20; ++i)
        alerts["17000001" + std::to_string(10 + i) + ".1"] = At("Detection", "10.0.1.1");
    WriteAlerts(alerts);
    app.LoadAlerts();
    auto w = Shown(app, kDetectionAlertsMode);
    ASSERT_EQ(w->Rows()->rowCount(), 20);
    Click(*w, 0);
    QTest::keyClick(&w->List(), Qt::Key_End, Qt::ShiftModifier);
    QTest::mouseClick(w->List().viewport(), Qt::LeftButton, Qt::ControlModifier,
                      w->List().visualRect(w->Rows()->index(19, 1)).center());
    ASSERT_EQ(w->List().selectionModel()->selectedRows().size(), 19);
    const std::string kept = w->RowKey(19);
    prompt_.Script({PromptAnswer::Yes});
    w->RemoveSelected();
    EXPECT_EQ(Keys(*w), std::vector<std::string>{kept});
    EXPECT_EQ(w->Header()->CountText(), QStringLiteral("1"));
}

TEST_F(AlertsScreenTest, RemovingSortingReportAndAnEmptyMode) {
    CTarvellApp& app = Connected();
    auto w = Shown(app, kDetectionAlertsMode);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(w.get()));
    ASSERT_TRUE(ClickHeaderSection(w->List().header(), 2));
    // Device Ip, ascending: .9 before .10, the bad address last
    EXPECT_EQ(Keys(*w), (std::vector<std::string>{"1700000100.2", "1700000100.1", "1700000090.1"}));
    w->CreateReport();
    ASSERT_EQ(report_.rows.size(), 3u);
    EXPECT_EQ(report_.rows[0][2], "10.0.0.9");
    EXPECT_EQ(report_.rows[2][2], "bad");
    EXPECT_EQ(report_.widths, (std::vector<int>{18, 18, 18, 18, 28}));
    EXPECT_EQ(reportCaption_, QStringLiteral("Detection alerts report"));

    // Remove the first and the last row: exactly those alerts leave the hub.
    w->List().selectionModel()->select(w->Rows()->index(0, 0),
                                       QItemSelectionModel::Select | QItemSelectionModel::Rows);
    w->List().selectionModel()->select(w->Rows()->index(2, 0),
                                       QItemSelectionModel::Select | QItemSelectionModel::Rows);
    prompt_.Script({PromptAnswer::Yes});
    w->RemoveSelected();
    EXPECT_EQ(Keys(*w), std::vector<std::string>{"1700000100.1"});
    EXPECT_EQ(w->Header()->CountText(), QStringLiteral("1"));
    EXPECT_EQ(app.AlertCounts().detection, 1);
    CAlertItem found;
    EXPECT_TRUE(app.LookupAlert("1700000100.1", found));

    // Clearing the prevention alerts empties that screen.
    auto p = Shown(app, kPreventionAlertsMode);
    EXPECT_EQ(p->Header()->CountText(), QStringLiteral("1"));
    prompt_.Script({PromptAnswer::Yes});
    p->ClearAlerts();
    EXPECT_EQ(p->Header()->CountText(), QStringLiteral("0"));
    EXPECT_FALSE(p->ReportPanel()->isVisible());
    EXPECT_EQ(p->List().EmptyText(), QStringLiteral("There are currently no active alerts."));
    EXPECT_EQ(app.AlertCounts().prevention, 0);
}

TEST_F(AlertsScreenTest, TheShownListFollowsTheHubByKeyAndAnEqualPublishTouchesNothing) {
    CTarvellApp& app = Connected();
    auto w = Shown(app, kDetectionAlertsMode);
    ASSERT_EQ(Keys(*w), (std::vector<std::string>{"1700000100.2", "1700000100.1", "1700000090.1"}));
    Click(*w, 1);
    AlertListModel* model = w->Rows();
    std::vector<std::unique_ptr<QSignalSpy>> spies;
    for (auto signal : {&QAbstractItemModel::rowsInserted, &QAbstractItemModel::rowsRemoved})
        spies.push_back(std::make_unique<QSignalSpy>(model, signal));
    spies.push_back(std::make_unique<QSignalSpy>(model, &QAbstractItemModel::dataChanged));
    spies.push_back(std::make_unique<QSignalSpy>(model, &QAbstractItemModel::modelReset));
    spies.push_back(std::make_unique<QSignalSpy>(model, &QAbstractItemModel::layoutChanged));
    const auto rowSignals = [&] {
        qsizetype n = 0;
        for (const auto& spy : spies) n += spy->count();
        return n;
    };
    ASSERT_TRUE(app.LoadAlerts());  // the same file read again: equal records
    QApplication::processEvents();
    EXPECT_EQ(rowSignals(), 0);

    // One alert changed, one gone, one new: the rows follow, the selected one stays selected.
    WriteAlerts({{"1700000100.1", At("Detection", "10.0.0.10")},
                 {"1700000100.2", At("Detection", "10.0.0.9")},
                 {"1700000090.1", At("Detection", "10.9.9.9")},
                 {"1700000200.1", At("Detection", "10.0.0.7")},
                 {"1700000095.1", At("Prevention", "10.0.0.1", "Manual Blocking")}});
    ASSERT_TRUE(app.LoadAlerts());
    QApplication::processEvents();
    EXPECT_EQ(Keys(*w), (std::vector<std::string>{"1700000200.1", "1700000100.2", "1700000100.1",
                                                  "1700000090.1"}))
        << "newest first, as the list was sorted";
    EXPECT_EQ(w->Rows()->ItemText(3, 2), QStringLiteral("10.9.9.9"));
    EXPECT_EQ(w->RowKey(w->List().SelectedRow()), "1700000100.1");
    EXPECT_EQ(spies[3]->count(), 0) << "no reset";
    WriteAlerts({{"1700000200.1", At("Detection", "10.0.0.7")}});
    ASSERT_TRUE(app.LoadAlerts());
    QApplication::processEvents();
    EXPECT_EQ(Keys(*w), (std::vector<std::string>{"1700000200.1"}));
}

TEST_F(AlertsScreenTest, ArchiveClearViewAndTheFailures) {
    CTarvellApp& app = Connected();
    auto w = Shown(app, kDetectionAlertsMode);
    picker_.save = QString::fromStdString(JoinPath(root_, "x.log"));
    prompt_.Script({PromptAnswer::Yes});
    w->ArchiveAlerts();
    EXPECT_TRUE(FileExists(JoinPath(root_, "x.log")));
    EXPECT_FALSE(FileExists(JoinPath(root_, "x.log.log")));

    prompt_.Script({PromptAnswer::Yes});
    w->ClearAlerts();
    EXPECT_EQ(w->Header()->CountText(), QStringLiteral("0"));
    picker_.open = picker_.save;
    w->SortBy(2);  // Device Ip, ascending
    w->ViewArchivedAlerts();
    EXPECT_TRUE(w->ArchiveView());
    // An archive looked like the live list: its title, its links, rows against the arrow.
    EXPECT_EQ(w->Header()->TitleText() + w->Header()->CountText(), QStringLiteral("x.log3"));
    EXPECT_EQ(Keys(*w), (std::vector<std::string>{"1700000100.2", "1700000100.1", "1700000090.1"}));
    EXPECT_FALSE(w->ReportPanel()->ClearAlerts()->isVisible());
    Click(*w, 0);  // gone from the hub: the archive's own details, and no removal
    EXPECT_TRUE(w->DetailsPanel()->HasSelection() &&
                !w->DetailsPanel()->Actions()->Remove()->isVisible());

    // A truncated archive: the message and no rows.
    const std::string cut = JoinPath(root_, "cut.log");
    ASSERT_TRUE(
        AtomicWriteFile(cut, ReadWholeFile(picker_.save.toStdString()).value_or("").substr(0, 20)));
    picker_.open = QString::fromStdString(cut);
    prompt_.Clear();
    w->ViewArchivedAlerts();
    EXPECT_EQ(w->Header()->CountText(), QStringLiteral("0"));
    ASSERT_EQ(prompt_.Requests().size(), 1u);
    EXPECT_EQ(prompt_.Requests()[0].text,
              "Failed loading alerts, invalid or damaged archived file was selected.");

    // A folder that cannot take the file: 20050.
    picker_.save = QString::fromStdString(JoinPath(cut, "y"));
    prompt_.Clear();
    prompt_.Script({PromptAnswer::Yes});
    w->ArchiveAlerts();
    ASSERT_EQ(prompt_.Requests().size(), 2u);
    EXPECT_EQ(prompt_.Requests()[1].text, LoadString(str::kArchiveWriteFailed));

    // Showing again leaves the archive view and refills from the hub (now without detection).
    w->hide();
    w->show();
    EXPECT_FALSE(w->ArchiveView());
    EXPECT_TRUE(QTest::qWaitFor([&] { return !w->FillPending(); }, 2000));
    EXPECT_EQ(w->Header()->CountText(), QStringLiteral("0"));
}

TEST_F(AlertsScreenTest, OverviewCountsAndPermissions) {
    CTarvellApp& app = Connected();
    std::vector<int> sent;
    CAlertsSummaryWnd page(app, [&](int id) { sent.push_back(id); });
    page.resize(800, 500);
    page.show();
    CAlertsDetailsPanel* d = page.DetailsPanel();
    EXPECT_EQ(d->Text(1008), QStringLiteral("4"));
    EXPECT_EQ(d->Text(1009), QStringLiteral("3"));
    EXPECT_EQ(page.InformationPanel()->Text(1014), QStringLiteral("4"));

    // With no users the links keep their state, even a disabled one.
    d->Link(1012)->setEnabled(false);
    page.hide();
    page.show();
    EXPECT_FALSE(d->Link(1012)->isEnabled());

    // "Detection Alerts;" alone: only the detection link.
    app.ReadIdentity();
    d->Link(1011)->setEnabled(false);
    d->Link(1012)->setEnabled(true);
    app.Document().Fields().ViewerUsers = {"alice/Alice;Detection Alerts;"};
    page.hide();
    page.show();
    EXPECT_TRUE(d->Link(1011)->isEnabled());
    EXPECT_FALSE(d->Link(1012)->isEnabled());

    EXPECT_EQ(app.ClearDetectionAlerts(), EditResult::Saved);
    d->Refresh();
    EXPECT_EQ(d->Text(1009), QStringLiteral("0"));
    emit d->Link(1011)->activated(d->Link(1011)->Command());
    EXPECT_EQ(sent, std::vector<int>{cmd::kDetectionAlerts});
}

}  // namespace
}  // namespace tarvell::test
