#include "viewer/settings/RunCommandsUi.h"

#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

#include "viewer/core/base/Prompt.h"
#include "viewer/core/base/StringTable.h"
#include "viewer/settings/EmailAlertSettingsUi.h"
#include "viewer/widgets/Accessibility.h"
#include "viewer/widgets/CPropertySheet.h"
#include "viewer/widgets/Fonts.h"
#include "viewer/widgets/LinkLabel.h"
#include "viewer/widgets/Pickers.h"
#include "viewer/widgets/TextConv.h"

namespace tarvell {

namespace {

std::string Utf8(const QString& s) { return s.toUtf8().toStdString(); }

QLineEdit* Field(QWidget* parent) {
    auto* edit = new QLineEdit(parent);
    edit->setMaxLength(1024);
    return edit;
}

}  // namespace

CCommandPropertiesDlg::CCommandPropertiesDlg(const std::string& name,
                                             const std::optional<std::string>& current,
                                             Prompt& prompt, FilePicker& files, QWidget* parent)
    : QDialog(parent), prompt_(prompt), files_(files) {
    (void)name;
    setWindowTitle(QStringLiteral("Command Properties"));
    setFont(DesignFont(QStringLiteral("Tahoma"), 13));
    auto* layout = new QVBoxLayout(this);

    auto* commandGroup = new QGroupBox(QStringLiteral("Command properties"), this);
    auto* commandForm = new QVBoxLayout(commandGroup);
    auto* commandLabel = new QLabel(QStringLiteral("Run command:"), commandGroup);
    commandForm->addWidget(commandLabel);
    auto* commandRow = new QHBoxLayout;
    command_ = Labelled(commandLabel, Field(commandGroup));
    browse_ = new QPushButton(QStringLiteral("Browse..."), commandGroup);
    commandRow->addWidget(command_);
    commandRow->addWidget(browse_);
    commandForm->addLayout(commandRow);
    auto* parametersRow = new QHBoxLayout;
    auto* parametersLabel = new QLabel(QStringLiteral("Parameters:"), commandGroup);
    parametersRow->addWidget(parametersLabel);
    parametersRow->addStretch();
    select_ = new LinkLabel(QStringLiteral("Select properties"), 0, commandGroup);
    select_->SetColor(QColor(0, 70, 213));
    select_->SetUnderlined(true);
    parametersRow->addWidget(select_);
    commandForm->addLayout(parametersRow);
    parameters_ = Labelled(parametersLabel, Field(commandGroup));
    commandForm->addWidget(parameters_);
    layout->addWidget(commandGroup);

    auto* accountGroup = new QGroupBox(QStringLiteral("Run as (optional)"), this);
    auto* accountForm = new QFormLayout(accountGroup);
    user_ = Field(accountGroup);
    domain_ = Field(accountGroup);
    password_ = Field(accountGroup);
    password_->setEchoMode(QLineEdit::Password);
    accountForm->addRow(QStringLiteral("User Name:"), user_);
    accountForm->addRow(QStringLiteral("Domain Name:"), domain_);
    accountForm->addRow(QStringLiteral("Password:"), password_);
    layout->addWidget(accountGroup);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    ok_ = new QPushButton(QStringLiteral("OK"), this);
    auto* cancel = new QPushButton(QStringLiteral("Cancel"), this);
    ok_->setDefault(true);
    buttons->addWidget(ok_);
    buttons->addWidget(cancel);
    layout->addLayout(buttons);
    setMinimumWidth(360);

    if (current) {
        const CommandProperties p = ParseProperties(*current);
        command_->setText(FromUtf8(p.command));
        parameters_->setText(FromUtf8(p.parameters));
        user_->setText(FromUtf8(p.user));
        domain_->setText(FromUtf8(p.domain));
        password_->setText(FromUtf8(p.password));
    }

    connect(ok_, &QPushButton::clicked, this, &CCommandPropertiesDlg::accept);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(browse_, &QPushButton::clicked, this, [this] {
        if (const auto path = files_.PickFile(this, QStringLiteral("Select command file: (*)")))
            command_->setText(*path);
    });
    connect(select_, &LinkLabel::activated, this, [this] { InsertAlertVariable(parameters_); });
}

CommandProperties CCommandPropertiesDlg::Properties() const {
    return {Utf8(command_->text()), Utf8(parameters_->text()), Utf8(user_->text()),
            Utf8(domain_->text()), Utf8(password_->text())};
}

void CCommandPropertiesDlg::accept() {
    const CommandProperties p = Properties();
    if (const unsigned message = CheckCommandProperties(p)) {
        prompt_.AskString(message, PromptButtons::Ok, PromptIcon::Information);
        (p.command.empty() ? command_ : parameters_)->setFocus();
        return;
    }
    QDialog::accept();
}

std::optional<std::string> RunCommandPropertiesDialog(QWidget* parent, const std::string& name,
                                                      const std::optional<std::string>& current,
                                                      Prompt& prompt, FilePicker& files) {
    CCommandPropertiesDlg dialog(name, current, prompt, files, parent);
    if (dialog.exec() != QDialog::Accepted) return std::nullopt;
    return dialog.PropertiesText();
}

bool EditCommandProperties(QWidget* parent, RunCommandList& list, int row, Prompt& prompt,
                           FilePicker& files) {
    if (row < 0 || row >= static_cast<int>(list.Names().size())) return false;
    const std::string name = list.Names()[static_cast<std::size_t>(row)];
    const auto properties =
        RunCommandPropertiesDialog(parent, name, list.PropertiesOf(name), prompt, files);
    if (!properties) return false;
    list.SetProperties(name, *properties);
    return true;
}

// ---- CSettingsAlertsRun

CSettingsAlertsRun::CSettingsAlertsRun(CTarvellApp& app, Prompt& prompt, ServiceControl* service,
                                       FilePicker& files, QWidget* parent)
    : CTargetPage(TargetFamily::Commands, app, prompt, service, parent), files_(files) {}

std::optional<std::string> CSettingsAlertsRun::TargetToAdd(const std::string& typed) {
    const auto outcome = commands_.Add(typed, [&](const std::string& name) {
        return RunCommandPropertiesDialog(this, name, std::nullopt, prompt_, files_);
    });
    if (outcome.clearEdit && Input()) Input()->clear();
    if (outcome.result == RunCommandList::AddResult::Refused && outcome.message != 0)
        prompt_.AskString(outcome.message, PromptButtons::Ok, PromptIcon::Information);
    if (outcome.result == RunCommandList::AddResult::Duplicate)
        prompt_.AskString(str::kItemExists, PromptButtons::Ok, PromptIcon::Information);
    if (outcome.result != RunCommandList::AddResult::Added) return std::nullopt;
    return typed;
}

void CSettingsAlertsRun::Forget(const std::string& target) {
    commands_.Remove(commands_.Find(target));
}

void CSettingsAlertsRun::RowDoubleClicked() {
    if (EditCommandProperties(this, commands_, SelectedRow(), prompt_, files_)) SetModified();
}

std::vector<std::string> CSettingsAlertsRun::Entries() const {
    // The rows' filters live in the target list; the properties beside them here.
    RunCommandList entries = commands_;
    for (int row = 0; row < targets_.Count(); ++row)
        entries.SetFilters(targets_.Target(row), targets_.Filters(targets_.Target(row)));
    return entries.Store();
}

void CSettingsAlertsRun::Load(const std::vector<std::string>& entries) {
    commands_.Load(entries);
    std::vector<std::string> rows;
    for (const std::string& name : commands_.Names())
        rows.push_back(JoinTargetEntry({name, commands_.FiltersOf(name)}));
    targets_.Load(rows, info_.splitAtLast);
}

void AddRunCommandsOptionsPages(CPropertySheet& sheet, CTarvellApp& app, Prompt& prompt,
                                FilePicker& files, ServiceControl* service) {
    sheet.AddPage(new CSettingsAlertsRun(app, prompt, service, files));
}

}  // namespace tarvell
