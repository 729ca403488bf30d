// The "Email Options" sheet offscreen, walked from the account to OK, the Command Properties
// dialog's OK, and the "Run Commands Options" sheet's Commands page from Add Command to what the
// service reads.
#include <QApplication>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

#include "service/alerts/CScanAlertsRun.h"
#include "tests/viewer/core/ViewerFixture.h"
#include "viewer/core/base/Prompt.h"
#include "viewer/core/base/StringTable.h"
#include "viewer/settings/EmailAlertSettingsUi.h"
#include "viewer/settings/RunCommandsUi.h"
#include "viewer/settings/SettingsSheets.h"
#include "viewer/widgets/CCheckListCtrl.h"
#include "viewer/widgets/LinkLabel.h"
#include "viewer/widgets/Pickers.h"

namespace tarvell::test {
namespace {

struct ScriptedFiles : FilePicker {
    std::optional<QString> answer;
    std::optional<QString> PickFile(QWidget*, const QString&) override { return answer; }
};

class EmailOptionsTest : public ViewerFixture {
protected:
    void TearDown() override {
        SetVariableChooser(nullptr);
        sheet_.reset();
        ViewerFixture::TearDown();
    }
    CPropertySheet& Sheet(const CTarvellDoc& doc, bool runCommands = false) {
        WriteSettings(doc);
        CTarvellApp& app = StartApp();
        EXPECT_TRUE(app.ReloadDocument());
        sheet_ = std::make_unique<CPropertySheet>(
            runCommands ? QStringLiteral("Run Commands Options") : QStringLiteral("Email Options"));
        if (runCommands) AddRunCommandsOptionsPages(*sheet_, app, prompt_, files_);
        else AddEmailOptionsPages(*sheet_, app, prompt_);
        sheet_->show();
        return *sheet_;
    }
    CTarvellDoc Saved() const {
        CTarvellDoc saved;
        EXPECT_TRUE(saved.LoadFromFile(JoinPath(JoinPath(server_, "handover"), "Tarvell.ini")));
        return saved;
    }
    std::string LastPrompt() const {
        return prompt_.Requests().empty() ? "" : prompt_.Requests().back().text;
    }

    PromptRecorder prompt_;
    ScriptedFiles files_;
    std::unique_ptr<CPropertySheet> sheet_;
};

TEST_F(EmailOptionsTest, AccountMessageAndReportsAreStoredByOk) {
    CTarvellDoc doc = DefaultSettings();
    doc.SmtpSecurity = "STARTTLS";
    doc.SmtpPort = "25";
    doc.EmailSubject = "";
    doc.EmailBody = "Ip: \r\nend\r\n";
    doc.ReportColumns.fill(1);
    CPropertySheet& sheet = Sheet(doc);
    std::vector<QString> tabs;
    for (int i = 0; i < sheet.PageCount(); ++i) tabs.push_back(sheet.Page(i)->Caption());
    EXPECT_EQ(tabs, (std::vector<QString>{"Account", "Recipients", "E-mail", "Reports"}));

    auto* account = static_cast<CSettingsAlertsAccount*>(sheet.Page(0));
    EXPECT_EQ(account->SecurityBox()->currentText(), "None");
    EXPECT_EQ(account->PasswordEdit()->echoMode(), QLineEdit::Password);
    account->TimeoutSlider()->setValue(4);
    EXPECT_EQ(account->TimeoutLabel()->text(), "4");
    QTest::keyClick(account->PortEdit(), Qt::Key_A);  // "25a"
    EXPECT_TRUE(sheet.IsApplyEnabled());
    sheet.PressOk();
    EXPECT_TRUE(sheet.isVisible());
    EXPECT_EQ(LastPrompt(), LoadString(str::kSmtpPortInvalid));
    account->PortEdit()->setText("587");

    ASSERT_TRUE(sheet.SetActivePage(2));
    auto* email = static_cast<CSettingsAlertsEmail*>(sheet.Page(2));
    EXPECT_FALSE(email->SubjectBox()->isChecked());
    EXPECT_FALSE(email->SubjectLink()->isVisible());
    EXPECT_TRUE(email->BodyLink()->isVisible());
    email->SubjectBox()->click();
    EXPECT_TRUE(email->SubjectLink()->isVisible());
    EXPECT_TRUE(email->SubjectEdit()->isEnabled());
    SetVariableChooser([](QWidget*) { return std::optional<std::string>("$device_ip"); });
    QTextCursor caret = email->BodyEdit()->textCursor();
    caret.setPosition(4);  // after "Ip: "
    email->BodyEdit()->setTextCursor(caret);
    QTest::mouseClick(email->BodyLink(), Qt::LeftButton);
    EXPECT_EQ(email->BodyEdit()->toPlainText(), "Ip: $device_ip\nend\n");
    email->SubjectEdit()->setText("Tarvell");
    email->SubjectEdit()->selectAll();
    QTest::mouseClick(email->SubjectLink(), Qt::LeftButton);
    EXPECT_EQ(email->SubjectEdit()->text(), "$device_ip");

    sheet.PressApply();
    ASSERT_TRUE(sheet.SetActivePage(3));
    auto* reports = static_cast<CSettingsAlertsReports*>(sheet.Page(3));
    EXPECT_FALSE(sheet.IsApplyEnabled());
    reports->RowList()->setCurrentItem(reports->RowList()->topLevelItem(4));
    reports->RowList()->setFocus();
    QTest::keyClick(reports->RowList(), Qt::Key_Space);
    EXPECT_TRUE(sheet.IsApplyEnabled());  // a ticked row alone enables Apply
    reports->DailyBox()->click();
    sheet.PressOk();

    const CTarvellDoc saved = Saved();
    EXPECT_EQ(saved.SmtpPort, "587");
    EXPECT_EQ(saved.SmtpSecurity, "");
    EXPECT_EQ(saved.SmtpTimeout, "4");
    EXPECT_EQ(saved.EmailSubject, "$device_ip");
    EXPECT_EQ(saved.EmailBody, "Ip: $device_ip\r\nend\r\n");
    EXPECT_EQ(saved.ReportColumns[4], 0);
    EXPECT_EQ(saved.ReportColumns[3], 1);
    EXPECT_EQ(saved.DailyReport, doc.DailyReport ? 0 : 1);
    EXPECT_TRUE(HasSettingsSheet(QStringLiteral("Email Options")));
    EXPECT_TRUE(HasSettingsSheet(QStringLiteral("Run Commands Options")));
    CPropertySheet commands(QStringLiteral("Run Commands Options"));  // its page comes later
    AddRunCommandsOptionsPages(commands, *app_, prompt_, files_);
    commands.show();
    commands.PressCancel();
    EXPECT_FALSE(commands.isVisible());
}

TEST_F(EmailOptionsTest, SetDefaultTicksBothAndFillsTheDefaults) {
    CTarvellDoc doc = DefaultSettings();
    doc.EmailSubject = doc.EmailBody = "";
    CPropertySheet& sheet = Sheet(doc);
    ASSERT_TRUE(sheet.SetActivePage(2));
    auto* email = static_cast<CSettingsAlertsEmail*>(sheet.Page(2));
    EXPECT_FALSE(email->BodyEdit()->isEnabled());
    QTest::mouseClick(email->DefaultLink(), Qt::LeftButton);
    EXPECT_TRUE(email->SubjectBox()->isChecked() && email->BodyBox()->isChecked());
    sheet.PressOk();
    EXPECT_EQ(Saved().EmailSubject, "$alert");
    EXPECT_EQ(Saved().EmailBody, DefaultEmailBody());
}

TEST_F(EmailOptionsTest, CommandPropertiesRefuseAnEmptyCommandAndSeparators) {
    CCommandPropertiesDlg dialog("n", std::string("/bin/x;-v;nobody;;pw;"), prompt_, files_);
    dialog.show();
    EXPECT_EQ(dialog.UserEdit()->text(), "nobody");
    EXPECT_EQ(dialog.PasswordEdit()->echoMode(), QLineEdit::Password);
    struct Case {
        QLineEdit* edit;
        const char* text;
        unsigned message;
    };
    const Case cases[] = {
        {dialog.CommandEdit(), "", str::kCommandInvalid},
        {dialog.CommandEdit(), "/bin/x", str::kCommandSeparator},  // the domain below
        {dialog.DomainEdit(), "", 0},
    };
    dialog.DomainEdit()->setText("a|b");
    for (const Case& c : cases) {
        prompt_.Clear();
        c.edit->setText(c.text);
        dialog.OkButton()->click();
        EXPECT_EQ(LastPrompt(), c.message ? LoadString(c.message) : "") << c.text;
        EXPECT_EQ(dialog.result() == QDialog::Accepted, c.message == 0) << c.text;
    }
    files_.answer = QStringLiteral("/usr/bin/touch");
    dialog.BrowseButton()->click();
    EXPECT_EQ(dialog.PropertiesText(), "/usr/bin/touch;-v;nobody;;pw;");
}

TEST_F(EmailOptionsTest, CommandsAreAddedThroughTheirPropertiesAndStoredAsTheServiceReadsThem) {
    CTarvellDoc doc = DefaultSettings();
    doc.RunCommands = {"old;/bin/true;;;;;|0/New*;"};
    CPropertySheet& sheet = Sheet(doc, true);
    auto* page = static_cast<CSettingsAlertsRun*>(sheet.Page(0));
    ASSERT_EQ(page->List()->topLevelItemCount(), 1);
    EXPECT_EQ(page->List()->topLevelItem(0)->text(0), "old");
    EXPECT_EQ(page->List()->topLevelItem(0)->text(1), "Enabled");

    // Add Command runs the properties dialog; its Cancel adds nothing, its OK adds the row.
    auto answerDialog = [](bool ok) {
        QTimer::singleShot(0, [ok] {
            auto* dialog = qobject_cast<CCommandPropertiesDlg*>(QApplication::activeModalWidget());
            if (!dialog) return;
            if (!ok) return dialog->reject();
            dialog->CommandEdit()->setText("/usr/bin/touch");
            dialog->UserEdit()->setText("nobody");
            dialog->OkButton()->click();
        });
    };
    for (bool ok : {false, true}) {
        page->Input()->setText("stamp");
        answerDialog(ok);
        page->AddButton()->click();
        EXPECT_EQ(page->List()->topLevelItemCount(), ok ? 2 : 1);
        EXPECT_EQ(page->Input()->text(), "") << "emptied after the dialog";
    }
    page->Input()->setText("OLD");
    page->AddButton()->click();
    EXPECT_EQ(LastPrompt(), LoadString(str::kItemExists));

    sheet.PressOk();
    const std::vector<std::string> stored = Saved().RunCommands;
    ASSERT_EQ(stored.size(), 2u);
    EXPECT_EQ(stored[0], "old;/bin/true;;;;;|0/New*;") << "filters kept";
    const auto run = ParseCommandTarget(stored[1]);
    ASSERT_TRUE(run) << stored[1];
    EXPECT_EQ(run->command, "/usr/bin/touch");
    EXPECT_EQ(run->user, "nobody");
    EXPECT_EQ(run->password, "");
}

}  // namespace
}  // namespace tarvell::test
