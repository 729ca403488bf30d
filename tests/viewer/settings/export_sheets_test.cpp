// The export option sheets offscreen: the field pages' ticks per collection, check and uncheck
// all, the keep flag per table, the interval edit, and the SQL General page with the data
// source dialog scripted.
#include <QTest>
#include <gtest/gtest.h>

#include "tests/service/exports/SqlBackends.h"
#include "tests/viewer/core/ViewerFixture.h"
#include "viewer/core/base/Prompt.h"
#include "viewer/core/base/StringTable.h"
#include "viewer/settings/ExportSettingsUi.h"
#include "viewer/settings/SettingsSheets.h"
#include "viewer/widgets/CCheckListCtrl.h"
#include "viewer/widgets/LinkLabel.h"
#include "viewer/widgets/Pickers.h"

namespace tarvell::test {
namespace {

struct ScriptedFolders : FolderPicker {
    std::optional<QString> answer;
    std::optional<QString> PickFolder(QWidget*, const QString&) override { return answer; }
};

struct ScriptedSource : DataSourceChooser {
    std::optional<DataSourceRequest> answer;
    std::vector<std::string> offered;
    std::optional<DataSourceRequest> Choose(QWidget*, DatabaseKind,
                                            const std::vector<std::string>& drivers) override {
        offered = drivers;
        return answer;
    }
};

class ExportSheetsTest : public ViewerFixture {
protected:
    void SetUp() override {
        ViewerFixture::SetUp();
        qputenv("XDG_CONFIG_HOME", QByteArray::fromStdString(JoinPath(root_, "config")));
        SetExportDataSourceChooser(&source_);
    }
    void TearDown() override {
        SetExportDataSourceChooser(nullptr);
        sheet_.reset();
        ViewerFixture::TearDown();
    }
    CPropertySheet& Sheet(bool html, CTarvellDoc doc = Seeded()) {
        WriteSettings(doc);
        CTarvellApp& app = StartApp();
        EXPECT_TRUE(app.ReloadDocument());
        sheet_ = std::make_unique<CPropertySheet>(html ? QStringLiteral("HTML Options")
                                                       : QStringLiteral("SQL Options"));
        if (html) AddHtmlOptionsPages(*sheet_, app, prompt_, folders_);
        else AddSqlOptionsPages(*sheet_, app, prompt_);
        sheet_->show();
        return *sheet_;
    }
    CExportFieldsPage* Fields() {
        EXPECT_TRUE(sheet_->SetActivePage(1));
        return static_cast<CExportFieldsPage*>(sheet_->Page(1));
    }
    CTarvellDoc Saved() const {
        CTarvellDoc saved;
        EXPECT_TRUE(saved.LoadFromFile(JoinPath(JoinPath(server_, "handover"), "Tarvell.ini")));
        return saved;
    }
    static CTarvellDoc Seeded() {
        CTarvellDoc doc = DefaultSettings();
        doc.HtmlEventsColumns.clear();
        doc.HtmlAlertsColumns.clear();
        doc.SqlEventsColumns.clear();
        doc.SqlAlertsColumns.clear();
        SeedHtmlDefaults(doc);
        SeedSqlDefaults(doc);
        return doc;
    }
    static void Tick(CCheckListCtrl* list, int row) {
        list->setCurrentItem(list->topLevelItem(row));
        list->setFocus();
        QTest::keyClick(list, Qt::Key_Space);  // the keyboard counts as a click
    }

    PromptRecorder prompt_;
    ScriptedFolders folders_;
    ScriptedSource source_;
    std::unique_ptr<CPropertySheet> sheet_;
};

TEST_F(ExportSheetsTest, EachCollectionKeepsItsTicksAndTheTableItsKeepFlag) {
    CPropertySheet& sheet = Sheet(false);
    CExportFieldsPage* page = Fields();
    ASSERT_EQ(page->FieldList()->ItemCount(), 9);
    EXPECT_EQ(page->DescriptionBox()->toPlainText(), "Collection of current events properties.");
    Tick(page->FieldList(), 7);  // "Blocked"
    EXPECT_FALSE(page->FieldList()->GetCheck(7));
    EXPECT_TRUE(page->IsModified());
    page->CollectionBox()->setCurrentIndex(1);
    EXPECT_EQ(page->FieldList()->ItemText(4, 0), "DeviceLocation");
    EXPECT_TRUE(page->FieldList()->GetCheck(7));
    page->KeepBox()->click();
    page->CollectionBox()->setCurrentIndex(0);
    EXPECT_FALSE(page->FieldList()->GetCheck(7));
    EXPECT_FALSE(page->KeepBox()->isChecked());
    sheet.PressOk();
    const CTarvellDoc saved = Saved();
    for (std::size_t i = 0; i < 9; ++i)
        EXPECT_EQ(saved.SqlEventsColumns[i], i == 7 ? "" : EventExportFields()[i]);
    EXPECT_EQ(saved.SqlAlertsColumns[7], "SourceName");
    EXPECT_EQ(saved.SqlEventsKeep, 0);
    EXPECT_EQ(saved.SqlAlertsKeep, 1);
}

TEST_F(ExportSheetsTest, CheckAllAndUncheckAllCoverTheChosenCollectionOnly) {
    CPropertySheet& sheet = Sheet(true);
    CExportFieldsPage* page = Fields();
    page->CollectionBox()->setCurrentIndex(1);
    QTest::mouseClick(page->UncheckAllLink(), Qt::LeftButton);
    for (int r = 0; r < 9; ++r) EXPECT_FALSE(page->FieldList()->GetCheck(r));
    QTest::mouseClick(page->CheckAllLink(), Qt::LeftButton);
    Tick(page->FieldList(), 0);
    QTest::mouseClick(page->UncheckAllLink(), Qt::LeftButton);
    sheet.PressOk();
    const CTarvellDoc saved = Saved();
    EXPECT_EQ(saved.HtmlAlertsColumns, std::vector<std::string>(9, ""));
    EXPECT_EQ(saved.HtmlEventsColumns[0], "Occurrence");
    EXPECT_EQ(saved.HtmlEventsColumns.size(), 9u);
}

TEST_F(ExportSheetsTest, HtmlGeneralCorrectsTheIntervalAndTakesThePickedFolder) {
    CPropertySheet& sheet = Sheet(true);
    auto* page = static_cast<CSettingsAccessHtml*>(sheet.Page(0));
    EXPECT_EQ(page->Interval().Edit()->maxLength(), 4);
    QLineEdit* edit = page->Interval().Edit();
    for (const char* typed : {"0", "05"}) {
        edit->setText(typed);
        emit edit->textEdited(typed);  // as a keystroke leaves it
        EXPECT_EQ(edit->text(), "1") << typed;
    }
    QTest::keyClicks(edit, "2");
    EXPECT_EQ(page->Interval().Spin()->value(), 12);
    page->Interval().Spin()->stepBy(1);
    EXPECT_EQ(edit->text(), "13");
    folders_.answer = QString::fromStdString(JoinPath(root_, "pages"));
    page->BrowseButton()->click();
    sheet.PressOk();
    const CTarvellDoc saved = Saved();
    EXPECT_EQ(saved.HtmlInterval, 13);
    EXPECT_EQ(saved.HtmlFolder, JoinPath(root_, "pages"));
}

TEST_F(ExportSheetsTest, SqlGeneralChoosesTheRadioAndKeepsTheMaskedPassword) {
    CTarvellDoc doc = Seeded();
    doc.SqlDatabase = "DRIVER={Tarvell PostgreSQL};SERVER=db;UID=a;PWD=s3;";
    CPropertySheet& sheet = Sheet(false, doc);
    auto* page = static_cast<CSettingsAccessSql*>(sheet.Page(0));
    EXPECT_TRUE(page->ServerRadio()->isChecked());
    EXPECT_EQ(page->LocationEdit()->text(),
              "DRIVER={Tarvell PostgreSQL};SERVER=db;UID=a;PWD=********;");
    sheet.PressOk();
    EXPECT_EQ(Saved().SqlDatabase, doc.SqlDatabase) << "the real password is stored";

    doc.SqlDatabase = "DBQ=c:\\x\\Tarvell.MDB;";
    RemoveTree(JoinPath(server_, "handover"));
    CPropertySheet& again = Sheet(false, doc);
    EXPECT_TRUE(static_cast<CSettingsAccessSql*>(again.Page(0))->FileRadio()->isChecked());
}

TEST_F(ExportSheetsTest, SqlBrowseWithTheScriptedDialogFillsTheLocation) {
    auto& drivers = exporttest::OdbcDrivers::Get();
    if (drivers.sqlite.empty()) GTEST_SKIP() << "no SQLite ODBC driver";
    CPropertySheet& sheet = Sheet(false);
    auto* page = static_cast<CSettingsAccessSql*>(sheet.Page(0));
    page->FileRadio()->click();
    source_.answer = std::nullopt;  // cancelled: nothing changes
    page->BrowseButton()->click();
    EXPECT_TRUE(page->LocationEdit()->text().isEmpty());
    const std::string file = JoinPath(root_, "export.db");
    source_.answer = DataSourceRequest{"Tarvell SQLite3", {{"Database", file}}, {}};
    page->BrowseButton()->click();
    ASSERT_FALSE(source_.offered.empty());
    EXPECT_EQ(source_.offered.front(), "Tarvell SQLite3")
        << "file drivers first for the file radio";
    EXPECT_TRUE(page->LocationEdit()->text().startsWith("DRIVER={Tarvell SQLite3};"));
    EXPECT_TRUE(prompt_.Requests().empty());
    EXPECT_TRUE(FileExists(JoinPath(root_, "config/tarvell/odbc.ini")));
    sheet.PressOk();
    EXPECT_EQ(ConnectValue(Saved().SqlDatabase, "Database"), file);
}

TEST_F(ExportSheetsTest, HoverShowsTheFieldOrCollectionDescription) {
    Sheet(true);
    CExportFieldsPage* page = Fields();
    CCheckListCtrl* list = page->FieldList();
    list->SelectRow(2);
    emit list->itemEntered(list->topLevelItem(7), 0);
    EXPECT_EQ(page->DescriptionBox()->toPlainText(),
              "The blocking state of the device port 'yes or 'no'.");
    EXPECT_EQ(list->SelectedRow(), -1) << "another row's selection goes with the new text";
    auto* view = page->CollectionBox()->view();
    emit view->entered(view->model()->index(1, 0));
    EXPECT_EQ(page->DescriptionBox()->toPlainText(), "Collection of current alerts properties.");
    EXPECT_FALSE(page->IsModified()) << "hovering is no change";
}

TEST(DataSourceDialogTest, FieldsFollowTheDriverAndThePasswordIsMasked) {
    CDataSourceDlg dialog(DatabaseKind::Server, {"Tarvell PostgreSQL", "Tarvell SQLite3"});
    dialog.show();
    EXPECT_TRUE(dialog.ServerEdit()->isVisible());
    EXPECT_FALSE(dialog.FileEdit()->isVisible());
    EXPECT_EQ(dialog.PasswordEdit()->echoMode(), QLineEdit::Password);
    dialog.ServerEdit()->setText(" db1 ");
    dialog.PortEdit()->setText("5433");
    dialog.DatabaseEdit()->setText("tarvell");
    dialog.UserEdit()->setText("alice");
    dialog.PasswordEdit()->setText("p;w");
    const DataSourceRequest server = dialog.Request();
    EXPECT_EQ(server.driver, "Tarvell PostgreSQL");
    EXPECT_EQ(server.attributes.front(), (std::pair<std::string, std::string>{"Server", "db1"}));
    EXPECT_EQ(server.credentials, (ConnectAttributes{{"UID", "alice"}, {"PWD", "p;w"}}))
        << "credentials are not data source attributes";
    dialog.DriverBox()->setCurrentIndex(1);
    EXPECT_TRUE(dialog.FileEdit()->isVisible());
    EXPECT_FALSE(dialog.PasswordEdit()->isVisible());
    dialog.FileEdit()->setText("/tmp/x.db");
    const DataSourceRequest file = dialog.Request();
    EXPECT_EQ(file.attributes, (ConnectAttributes{{"Database", "/tmp/x.db"}}));
    EXPECT_TRUE(file.credentials.empty());
}

TEST_F(ExportSheetsTest, AFailedReloadAtOkWritesNothingSaysSoAndKeepsTheSheet) {
    CPropertySheet& sheet = Sheet(false);
    Fields();  // the Tables page took part
    ASSERT_TRUE(AtomicWriteFile(JoinPath(server_, "Tarvell.ini"),
                                "\x03"
                                "3.6"));
    sheet.PressOk();
    EXPECT_TRUE(sheet.isVisible());
    ASSERT_FALSE(prompt_.Requests().empty());
    EXPECT_EQ(prompt_.Requests().front().text, LoadString(str::kSettingsReloadFailed));
    EXPECT_FALSE(FileExists(JoinPath(JoinPath(server_, "handover"), "Tarvell.ini")));
}

TEST_F(ExportSheetsTest, BothSheetsAreRegisteredByCaption) {
    EXPECT_TRUE(HasSettingsSheet(QStringLiteral("HTML Options")));
    EXPECT_TRUE(HasSettingsSheet(QStringLiteral("SQL Options")));
}

}  // namespace
}  // namespace tarvell::test
