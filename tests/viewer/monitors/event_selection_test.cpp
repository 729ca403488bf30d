// Choosing events on the monitor page: clicks, keys, the details pane's search and the action
// links, over a real viewer with fixture files and a temporary registry store.
#include <QLineEdit>
#include <QTest>
#include <QTextBlock>
#include <QTextEdit>
#include <gtest/gtest.h>

#include "tests/viewer/core/ViewerFixture.h"
#include "shared/EventTypes.h"
#include "viewer/core/monitors/EventSelection.h"
#include "viewer/core/shell/CommandRouter.h"
#include "viewer/core/base/Prompt.h"
#include "viewer/monitors/CEventMonitorWnd.h"
#include "viewer/monitors/EventListModel.h"
#include "viewer/monitors/MonitorDetailsPanels.h"
#include "viewer/monitors/MonitorHeaderPanels.h"
#include "viewer/monitors/EventRequestDialogs.h"
#include "viewer/monitors/MonitorReportPanels.h"
#include "viewer/core/base/StringTable.h"
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include "viewer/widgets/CPaintListCtrl.h"
#include "viewer/widgets/LinkLabel.h"
#include "viewer/widgets/TextConv.h"

namespace tarvell::test {
namespace {

using Events = std::map<std::string, CEventItem>;

CEventItem Sourced(std::string mac, std::string name = "") {
    CEventItem e = MakeEvent("New Mac");
    e.DeviceName = "core";
    e.DeviceIp = "10.0.0.1";
    e.SourceMac = std::move(mac);
    e.SourceName = std::move(name);
    return e;
}

// S1/1 and S1/3 hold "AA" in their source MAC; S1/2 has a name that looks like markup.
Events ThreeEvents() {
    return {{"S1/1", Sourced("00:AA:01;00:BB:02")},
            {"S1/2", Sourced("00:CC:03", "pc<b>x</b>")},
            {"S1/3", Sourced("00:AA:04")}};
}

class EventSelectionTest : public ViewerFixture {
protected:
    void Start(const Events& events, const CTarvellDoc& settings = DefaultSettings(),
               CommandId mode = cmd::kDetectionMonitor) {
        window_.reset();  // a page goes before the viewer it listens to
        WriteSettings(settings);
        WriteEvents(events);
        StartApp();
        app_->ReadIdentity();
        ASSERT_TRUE(app_->ReloadDocument());
        ASSERT_TRUE(app_->LoadEvents());
        CEventMonitorWnd::s_SortColumn = -1;
        CEventMonitorWnd::s_SortAscending = true;  // the show flips nothing: rows ascend by key
        PageContext context{*app_, router_, prompt_, {}, {}, {}};
        context.showInformation = [this](const QString& title, const QString& html, QWidget*) {
            pages_.emplace_back(title, html);
        };
        window_ = std::make_unique<CEventMonitorWnd>(context, nullptr);
        window_->resize(900, 500);
        window_->hooks.eventDetails = [this](bool, const std::string& key) {
            details_.push_back(key);
        };
        window_->hooks.removeEvents = [this](CPaintListCtrl*) { details_.push_back("remove"); };
        window_->SetMode(mode);
        window_->show();
        ASSERT_TRUE(QTest::qWaitFor([&] { return window_->Passes() > 0; }, 2000));
    }
    void TearDown() override {
        window_.reset();
        ViewerFixture::TearDown();
    }
    CPaintListCtrl* List() const { return window_->List(true); }
    EventListModel* Model() const { return window_->Rows(true); }
    CMonitorDetailsPanel* Pane() const { return window_->DetailsPane(true); }
    QPoint RowPoint(int row) const {
        return List()->visualRect(Model()->index(row, 0)).center();
    }
    void Click(int row) {
        QTest::mouseClick(List()->viewport(), Qt::LeftButton, {}, RowPoint(row));
    }
    QString PaneText() const { return Pane()->TextArea()->toPlainText(); }
    void Search(const QString& text) {
        Pane()->SearchEdit()->setText(text);
        Pane()->OnSearch();
    }
    std::string LastPrompt() const {
        return prompt_.Requests().empty() ? "" : prompt_.Requests().back().text;
    }

    CommandRouter router_;
    PromptRecorder prompt_;
    std::unique_ptr<CEventMonitorWnd> window_;
    std::vector<std::string> details_;
    std::vector<std::pair<QString, QString>> pages_;
};

TEST_F(EventSelectionTest, ClickShowsTheEventAsPlainTextAndMarksItRead) {
    Start(ThreeEvents());
    ASSERT_EQ(Model()->ItemText(1, 0), QStringLiteral("S1/2"));
    EXPECT_TRUE(Model()->ItemBold(1));
    EXPECT_EQ(PaneText(), FromUtf8(DetailsIntroText(true)));
    Click(1);
    EXPECT_FALSE(Model()->ItemBold(1));
    EXPECT_TRUE(app_->IsEventRead("S1/2"));
    EXPECT_TRUE(Pane()->Actions()->isVisible());
    const QString text = PaneText();
    EXPECT_TRUE(text.contains(QStringLiteral("\n\nSource ip: \n\nSource name: pc<b>x</b>\n\n")))
        << text.toStdString();
    // The title is bold, its value text is not: formats, not markup.
    QTextBlock first = Pane()->TextArea()->document()->begin();
    EXPECT_EQ(first.begin().fragment().charFormat().fontWeight(), QFont::Bold);
    EXPECT_FALSE(Pane()->TextArea()->toHtml().contains(QStringLiteral("<b>x")));

    // The event leaves the hub before the next pass: the pane keeps its text, the mark is written.
    Events rest = ThreeEvents();
    rest.erase("S1/3");
    WriteEvents(rest);
    ASSERT_TRUE(app_->LoadEvents());
    Click(2);
    EXPECT_EQ(PaneText(), text);
    EXPECT_TRUE(app_->IsEventRead("S1/3"));
    EXPECT_FALSE(Model()->ItemBold(2));

    // A click beside the rows: no selection, the introduction again, no links.
    QTest::mouseClick(List()->viewport(), Qt::LeftButton, {},
                      QPoint(5, List()->viewport()->height() - 5));
    EXPECT_EQ(List()->SelectedRow(), -1);
    EXPECT_EQ(PaneText(), FromUtf8(DetailsIntroText(true)));
    EXPECT_FALSE(Pane()->Actions()->isVisible());
}

TEST_F(EventSelectionTest, KeysShowTheRowTheyAreAboutToSelect) {
    Start(ThreeEvents());
    List()->setFocus();
    QTest::keyClick(List(), Qt::Key_Down);
    EXPECT_TRUE(app_->IsEventRead("S1/1")) << "Down with nothing selected: row 0";
    EXPECT_EQ(List()->SelectedRow(), 0);
    QTest::keyClick(List(), Qt::Key_Up);
    QTest::keyClick(List(), Qt::Key_A);
    EXPECT_FALSE(app_->IsEventRead("S1/2"));
    EXPECT_FALSE(app_->IsEventRead("S1/3"));
    List()->SelectRow(2);
    QTest::keyClick(List(), Qt::Key_Down);
    EXPECT_FALSE(app_->IsEventRead("S1/3")) << "Down on the last row";
}

TEST_F(EventSelectionTest, SearchAndFindNext) {
    Start(ThreeEvents());
    Search(QStringLiteral("aa"));  // lower case finds the upper-case MAC
    EXPECT_EQ(List()->SelectedRow(), 0);
    EXPECT_TRUE(app_->IsEventRead("S1/1"));
    EXPECT_TRUE(PaneText().contains(QStringLiteral("Source mac: 00:AA:01\n\n")));
    QTest::keyClick(List(), Qt::Key_F3);
    EXPECT_EQ(List()->SelectedRow(), 2);
    QTest::keyClick(List(), Qt::Key_F3);
    EXPECT_EQ(LastPrompt(), kNoMoreEventsFound);
    EXPECT_EQ(Pane()->SearchText(), "") << "forgotten after the last match";
    const std::size_t asked = prompt_.Requests().size();
    Pane()->FindNext();
    EXPECT_EQ(prompt_.Requests().size(), asked) << "nothing left to continue";

    Search(QStringLiteral("aa"));
    EXPECT_EQ(List()->SelectedRow(), 0) << "a new search starts at the top";
    Search(QStringLiteral("aa"));
    EXPECT_EQ(List()->SelectedRow(), 0);

    Search(QStringLiteral("zz"));
    EXPECT_EQ(List()->SelectedRow(), -1);
    EXPECT_EQ(LastPrompt(), kNoEventsFound);
    EXPECT_EQ(Pane()->SearchText(), "ZZ") << "a miss keeps the text";
    Pane()->SearchEdit()->clear();
    Pane()->FindNext();
    EXPECT_EQ(LastPrompt(), kNoMoreEventsFound) << "F3 after a miss scans again";
}

TEST_F(EventSelectionTest, LinksFollowThePermissionsAndTheFirstSelectedRow) {
    CTarvellDoc settings = DefaultSettings();
    settings.ViewerUsers = {"alice/Alice;Detection Details;Detection About;Detection Remove"};
    Start(ThreeEvents(), settings);
    Click(0);
    CMonitorActionsPanel* actions = Pane()->Actions();
    ASSERT_TRUE(actions->isVisible());
    EXPECT_TRUE(actions->IsLinkActive(MonitorLink::EventDetails));
    EXPECT_FALSE(actions->IsLinkActive(MonitorLink::RemoveEvents));
    EXPECT_FALSE(actions->IsLinkActive(MonitorLink::BlockEvents));
    LinkLabel* remove = actions->Link(MonitorLink::RemoveEvents);
    EXPECT_EQ(remove->palette().color(QPalette::Disabled, QPalette::WindowText),
              QColor(172, 168, 153));
    QTest::mouseClick(remove, Qt::LeftButton);
    EXPECT_TRUE(details_.empty()) << "an inactive link does nothing";

    Click(1);
    QTest::mouseDClick(List()->viewport(), Qt::LeftButton, {}, RowPoint(1));
    EXPECT_EQ(details_, (std::vector<std::string>{"S1/2"}));
    QTest::mouseDClick(List()->viewport(), Qt::LeftButton, {},
                       QPoint(5, List()->viewport()->height() - 5));
    EXPECT_EQ(details_.size(), 1u) << "beside the rows";

    Click(0);
    QTest::mouseClick(actions->Link(MonitorLink::LearnMore), Qt::LeftButton);
    ASSERT_EQ(pages_.size(), 1u);
    EXPECT_EQ(pages_[0].first, QStringLiteral("Detection Event Information"));
    EXPECT_EQ(pages_[0].second, FromUtf8(EventTypeHelp("New Mac")));
    WriteEvents({});
    ASSERT_TRUE(app_->LoadEvents());
    actions->OnLearnMore();
    EXPECT_EQ(pages_.size(), 1u) << "the event left the hub";

    // Fixed: without the Details permission a double click still opened Event Details.
    settings.ViewerUsers = {"alice/Alice;Detection About;"};
    Start(ThreeEvents(), settings);
    details_.clear();
    Click(1);
    QTest::mouseDClick(List()->viewport(), Qt::LeftButton, {}, RowPoint(1));
    EXPECT_TRUE(details_.empty());
}

TEST_F(EventSelectionTest, PreventionPaneTellsAManualBlocking) {
    CTarvellDoc settings = DefaultSettings();
    settings.BlockRequests = {"S1/2;alice@CORP"};
    Start(ThreeEvents(), settings, cmd::kPreventionMonitor);
    CPaintListCtrl* list = window_->List(false);
    ASSERT_EQ(EventRows(*list)->rowCount(), 1);
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                      list->visualRect(EventRows(*list)->index(0, 0)).center());
    const QString text = window_->DetailsPane(false)->TextArea()->toPlainText();
    EXPECT_TRUE(text.startsWith(QStringLiteral("Manual Blocking\n\n"))) << text.toStdString();
    EXPECT_TRUE(text.endsWith(QStringLiteral("Description: Manual Blocking by .")));
    window_->DetailsPane(false)->Actions()->OnLearnMore();
    ASSERT_EQ(pages_.size(), 1u);
    EXPECT_EQ(pages_[0], std::make_pair(QStringLiteral("Prevention Event Information"),
                                        FromUtf8(EventTypeHelp("Manual Blocking"))));
}

TEST_F(EventSelectionTest, RemovalOutsideAPassLowersTheCountAndKeepsTheMarksOnTheirRows) {
    Start(ThreeEvents());
    Click(2);
    ASSERT_EQ(window_->Header(true)->CountText(), QStringLiteral("3"));
    Model()->RemoveRows({0});
    EXPECT_EQ(window_->Header(true)->CountText(), QStringLiteral("2"));
    EXPECT_TRUE(Model()->ItemBold(0)) << "S1/2 unread";
    EXPECT_FALSE(Model()->ItemBold(1)) << "S1/3 read";
    window_->FillEventLists();  // a pass writes the label itself
    EXPECT_EQ(window_->Header(true)->CountText(), QStringLiteral("3"));
    Model()->Clear();
    EXPECT_EQ(window_->Header(true)->CountText(), QStringLiteral("0"));
}

// ---- requests: block, remove, unblock, stop prevention and notes, read back from the file
// the service takes over

class EventRequestsUiTest : public EventSelectionTest {
protected:
    CTarvellDoc Saved() {
        CTarvellDoc doc;
        EXPECT_TRUE(doc.LoadFromFile(ViewerDocument::HandOverPath(server_)));
        return doc;
    }
    void SelectRows(CPaintListCtrl* list, std::initializer_list<int> rows) {
        list->clearSelection();
        for (const int row : rows)
            list->selectionModel()->select(EventRows(*list)->index(row, 0),
                                           QItemSelectionModel::Select | QItemSelectionModel::Rows);
    }
};

TEST_F(EventRequestsUiTest, BlockAndRemoveWorkOnTheRowsChosenAndAskFirst) {
    CTarvellDoc doc = DefaultSettings();
    Start(ThreeEvents(), doc);
    SelectRows(List(), {0, 2});
    OnBlockEvents(*app_, prompt_, *List());
    EXPECT_EQ(LastPrompt(), LoadString(str::kNoPreventionMethod));
    EXPECT_EQ(Model()->rowCount(), 3);

    doc.SnmpPreventionEnabled = 1;
    Start(ThreeEvents(), doc);
    SelectRows(List(), {0, 2});
    prompt_.Script({PromptAnswer::Ok});
    OnBlockEvents(*app_, prompt_, *List());
    EXPECT_EQ(LastPrompt(), LoadString(str::kAskBlockEvents));
    ASSERT_EQ(Model()->rowCount(), 1);
    EXPECT_EQ(Model()->ItemText(0, 0), QStringLiteral("S1/2"));
    const CTarvellDoc saved = Saved();
    EXPECT_EQ(saved.BlockRequests,
              (std::vector<std::string>{"S1/1;alice@CORP", "S1/3;alice@CORP"}));
    EXPECT_EQ(saved.NodesBlackList,
              (std::vector<std::string>{"00:AA:01/0;", "00:BB:02/0;", "00:AA:04/0;"}));

    SelectRows(List(), {0});
    prompt_.Script({PromptAnswer::Cancel});
    OnRemoveEvents(*app_, prompt_, *List());
    EXPECT_EQ(Model()->rowCount(), 1) << "Cancel removes nothing";
    prompt_.Script({PromptAnswer::Ok});
    OnRemoveEvents(*app_, prompt_, *List());
    EXPECT_EQ(Model()->rowCount(), 0);
    EXPECT_EQ(Saved().DeleteRequests, std::vector<std::string>{"S1/2"});
}

TEST_F(EventRequestsUiTest, UnblockOptionsAndTheStopPasswordAgainstTheSavedSettings) {
    CTarvellDoc doc = DefaultSettings();
    doc.PreventionEnabled = 1;
    doc.MonitorPassword = "pw";
    doc.BlockRequests = {"S1/1;bob@X", "S1/3;bob@X"};
    Start(ThreeEvents(), doc, cmd::kPreventionMonitor);
    CPaintListCtrl* list = window_->List(false);
    ASSERT_EQ(EventRows(*list)->rowCount(), 2);

    SelectRows(list, {1});
    CUnblockEventsDlg unblock(*app_, prompt_, *list, window_.get());
    EXPECT_FALSE(unblock.Authorization(2)->isVisible());
    EXPECT_TRUE(unblock.Removal(0)->isChecked() && unblock.Authorization(0)->isChecked());
    unblock.OnOptions();
    EXPECT_TRUE(unblock.OptionsShown());
    unblock.Authorization(2)->click();
    unblock.Removal(1)->click();
    EXPECT_FALSE(unblock.Removal(0)->isChecked());
    unblock.accept();
    EXPECT_EQ(unblock.result(), QDialog::Accepted);
    EXPECT_EQ(EventRows(*list)->ItemText(1, 4), QStringLiteral("Waiting for activation..."));
    CTarvellDoc saved = Saved();
    EXPECT_EQ(saved.UnblockRequests, std::vector<std::string>{"S1/3;alice@CORP"});
    EXPECT_EQ(saved.NodesWhiteList, std::vector<std::string>{"00:AA:04/0;"});
    EXPECT_TRUE(saved.DeleteRequests.empty()) << "moved to the detection list";

    CStopPreventionDlg stop(*app_, prompt_, *list, window_.get());
    ASSERT_TRUE(stop.PasswordMode());
    EXPECT_FALSE(stop.OptionsButton()->isEnabled());
    stop.PasswordEdit()->setText(QStringLiteral("PW"));
    stop.accept();
    EXPECT_EQ(LastPrompt(), LoadString(str::kIncorrectPassword));
    EXPECT_TRUE(stop.PasswordEdit()->text().isEmpty());
    stop.PasswordEdit()->setText(QStringLiteral("pw"));
    stop.accept();
    EXPECT_FALSE(stop.PasswordMode());
    // The password changes meanwhile: the save is refused.
    CTarvellDoc changed = Saved();
    changed.MonitorPassword = "new";
    ASSERT_TRUE(changed.SaveToFile(ViewerDocument::HandOverPath(server_), false));
    stop.accept();
    EXPECT_NE(stop.result(), QDialog::Accepted);
    EXPECT_EQ(Saved().PreventionEnabled, 1);
    // Fixed: the dialog stayed out of password mode and refused every OK after.
    stop.PasswordEdit()->setText(QStringLiteral("new"));
    stop.accept();
    stop.accept();
    EXPECT_EQ(Saved().PreventionEnabled, 0);
}

TEST_F(EventRequestsUiTest, ANoteKeepsItsLineBreaksAndSetsTheRowImage) {
    Start(ThreeEvents());
    {  // fixed: a character Windows-1252 cannot hold became "?"; now the note is refused
        CEventInformationDlg info("S1/2", *window_);
        QTest::sendKeyEvent(QTest::Click, info.NoteEdit(), Qt::Key_unknown, QChar(0x3A9), {});
        for (QPushButton* b : info.findChildren<QPushButton*>())
            if (b->text() == "OK") QTest::mouseClick(b, Qt::LeftButton);
        EXPECT_EQ(LastPrompt(), LoadString(str::kTextNotStorable));
        EXPECT_FALSE(FileExists(ViewerDocument::HandOverPath(server_))) << "nothing stored";
    }
    {
        CEventInformationDlg info("S1/2", *window_);
        EXPECT_EQ(info.ValueText(1), QStringLiteral("core"));
        info.NoteEdit()->setPlainText(QStringLiteral("line; one\nline two"));
        info.accept();
        EXPECT_EQ(info.result(), QDialog::Accepted);
    }
    EXPECT_EQ(Saved().EventNotes, std::vector<std::string>{"S1/2;line; one\r\nline two"});
    EXPECT_EQ(Model()->Image(1), 1);
    ASSERT_TRUE(app_->ReloadDocument());
    CEventInformationDlg again("S1/2", *window_);
    EXPECT_EQ(again.NoteEdit()->toPlainText(), QStringLiteral("line; one\nline two"));
    again.NoteEdit()->clear();
    again.accept();
    EXPECT_EQ(Model()->Image(1), 0);
    EXPECT_TRUE(Saved().EventNotes.empty());
}

TEST_F(EventRequestsUiTest, AReportIsASnapshotAndStopNeedsNoRows) {
    Start(ThreeEvents());
    Model()->RemoveRows({1});  // as a type filter leaves them
    const ReportTable report = MonitorReportTable(true, *List());
    ASSERT_EQ(report.rows.size(), 2u);
    EXPECT_EQ(report.rows[1][0], "S1/3");
    EXPECT_EQ(report.headers.back(), "Event Details");
    EXPECT_EQ(report.widths, (std::vector<int>{18, 18, 18, 18, 28}));
    ASSERT_TRUE(app_->LoadEvents());
    EXPECT_EQ(report.rows.size(), 2u);

    CTarvellDoc doc = DefaultSettings();
    doc.PreventionEnabled = 1;
    Start({}, doc, cmd::kPreventionMonitor);
    CStopPreventionDlg stop(*app_, prompt_, *window_->List(false), window_.get());
    EXPECT_FALSE(stop.PasswordMode());
    stop.accept();
    EXPECT_EQ(stop.result(), QDialog::Accepted);
    EXPECT_EQ(Saved().PreventionEnabled, 0);
}

}  // namespace
}  // namespace tarvell::test
