#include "viewer/settings/EmailAlertSettingsUi.h"

#include <QButtonGroup>
#include <QFrame>
#include <QGroupBox>
#include <QPushButton>
#include <QVBoxLayout>

#include "shared/CTarvellDoc.h"
#include "viewer/core/hub/CTarvellApp.h"
#include "viewer/core/hub/SettingsEdit.h"
#include "viewer/core/base/Prompt.h"
#include "viewer/settings/AlertTargetsUi.h"
#include "viewer/settings/RunCommandsUi.h"
#include "viewer/settings/SettingsSheets.h"
#include "viewer/settings/SettingsPageKit.h"
#include "viewer/widgets/Accessibility.h"
#include "viewer/widgets/CCheckListCtrl.h"
#include "viewer/widgets/Fonts.h"
#include "viewer/widgets/LinkLabel.h"
#include "viewer/widgets/QtGeometry.h"
#include "viewer/widgets/ShellPage.h"
#include "viewer/widgets/TextConv.h"

namespace tarvell {

namespace {

QLineEdit* Edit(QWidget* page, QRect place, CPropertyPage* changes) {
    auto* edit = new QLineEdit(page);
    edit->setMaxLength(1024);
    edit->setGeometry(place);
    QObject::connect(edit, &QLineEdit::textEdited, changes, [changes] { changes->SetModified(); });
    return edit;
}

LinkLabel* BlueLink(CPropertyPage* page, const QString& text, QRect place) {
    LinkLabel* link = page->MakeLink(text);
    link->SetColor(QColor(0, 70, 213));
    link->SetUnderlined(true);
    link->setGeometry(place);
    return link;
}

bool Refused(Prompt& prompt, unsigned message) {
    if (message == 0) return false;
    prompt.AskString(message, PromptButtons::Ok, PromptIcon::Warning);
    return true;
}

VariableChooser& Chooser() {
    static VariableChooser chooser;
    return chooser;
}

std::optional<std::string> ChooseVariable(QWidget* parent) {
    if (Chooser()) return Chooser()(parent);
    CAvailablePropertiesDlg dialog(parent);
    if (dialog.exec() != QDialog::Accepted) return std::nullopt;
    return dialog.Variable();
}

// The variable over [start, start + length) of `text` (Qt positions); the text and the caret.
std::pair<QString, int> Inserted(const QString& text, int start, int length,
                                 const std::string& variable) {
    const std::size_t from = Utf8(text.left(start)).size();
    const std::size_t count = Utf8(text.mid(start, length)).size();
    const Insertion in = InsertAtSelection(Utf8(text), from, count, variable);
    return {FromUtf8(in.text), static_cast<int>(FromUtf8(in.text.substr(0, in.caret)).size())};
}

}  // namespace

// ---- CAvailablePropertiesDlg

CAvailablePropertiesDlg::CAvailablePropertiesDlg(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("Available Properties"));
    setFont(DesignFont(QStringLiteral("Tahoma"), 13));
    auto* layout = new QVBoxLayout(this);
    auto* group = new QGroupBox(QStringLiteral("Select property from the list below"), this);
    auto* inner = new QVBoxLayout(group);
    auto* buttons = new QButtonGroup(this);
    for (std::size_t i = 0; i < kAlertVariableCount; ++i) {
        radios_[i] = new QRadioButton(QString::fromLatin1(AlertVariables()[i].label), group);
        buttons->addButton(radios_[i]);
        inner->addWidget(radios_[i]);
    }
    radios_[0]->setChecked(true);
    layout->addWidget(group);
    auto* row = new QHBoxLayout;
    row->addStretch();
    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    auto* cancel = new QPushButton(QStringLiteral("Cancel"), this);
    ok->setDefault(true);
    row->addWidget(ok);
    row->addWidget(cancel);
    layout->addLayout(row);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
}

std::string CAvailablePropertiesDlg::Variable() const {
    for (std::size_t i = 0; i < kAlertVariableCount; ++i)
        if (radios_[i]->isChecked()) return AlertVariables()[i].variable;
    return AlertVariables()[0].variable;
}

void SetVariableChooser(VariableChooser chooser) { Chooser() = std::move(chooser); }

bool InsertAlertVariable(QLineEdit* edit) {
    const auto variable = ChooseVariable(edit);
    if (!variable) return false;
    const int start = edit->hasSelectedText() ? edit->selectionStart() : edit->cursorPosition();
    const int length = edit->hasSelectedText() ? static_cast<int>(edit->selectedText().size()) : 0;
    const auto [text, caret] = Inserted(edit->text(), start, length, *variable);
    edit->setText(text);
    edit->setCursorPosition(caret);
    return true;
}

bool InsertAlertVariable(QPlainTextEdit* edit) {
    const auto variable = ChooseVariable(edit);
    if (!variable) return false;
    QTextCursor cursor = edit->textCursor();
    const int start = cursor.selectionStart();
    const auto [text, caret] =
        Inserted(edit->toPlainText(), start, cursor.selectionEnd() - start, *variable);
    edit->setPlainText(text);
    cursor = edit->textCursor();
    cursor.setPosition(caret);
    edit->setTextCursor(cursor);
    return true;
}

// ---- Account

CSettingsAlertsAccount::CSettingsAlertsAccount(CTarvellApp& app, Prompt& prompt, QWidget* parent)
    : CPropertyPage(QStringLiteral("Account"), parent), app_(app), prompt_(prompt) {
    PageLook(this);
    PageGroup(this, QStringLiteral("SMTP account"), DluQRect(7, 7, 221, 196));
    server_ = Labelled(
        PageText(this, QStringLiteral("SMTP server (mail.example.com):"), DluQRect(15, 18, 150, 9)),
        Edit(this, DluQRect(15, 29, 150, 12), this));
    port_ = Labelled(PageText(this, QStringLiteral("SMTP port:"), DluQRect(172, 18, 50, 9)),
                     Edit(this, DluQRect(172, 29, 48, 12), this));
    port_->setMaxLength(5);
    sender_ = Labelled(PageText(this, QStringLiteral("SMTP sender (alerts@example.com):"),
                                DluQRect(15, 47, 200, 9)),
                       Edit(this, DluQRect(15, 58, 205, 12), this));
    PageGroup(this, QStringLiteral("Login authentication"), DluQRect(15, 82, 205, 64));
    user_ = Labelled(PageText(this, QStringLiteral("User name:"), DluQRect(22, 94, 50, 9)),
                     Edit(this, DluQRect(75, 92, 138, 12), this));
    password_ = Labelled(PageText(this, QStringLiteral("Password:"), DluQRect(22, 110, 50, 9)),
                         Edit(this, DluQRect(75, 108, 138, 12), this));
    password_->setEchoMode(QLineEdit::Password);
    security_ = Labelled(PageText(this, QStringLiteral("Security:"), DluQRect(22, 126, 50, 9)),
                         new QComboBox(this));
    for (const char* item : kSecurityItems) security_->addItem(QString::fromLatin1(item));
    security_->setGeometry(DluQRect(75, 124, 60, 14));
    PageGroup(this, QStringLiteral("Server timeout"), DluQRect(15, 156, 205, 40));
    PageText(this, QStringLiteral("Short"), DluQRect(22, 172, 22, 9));
    timeout_ = Named(new QSlider(Qt::Horizontal, this), QStringLiteral("Server timeout"));
    timeout_->setRange(kTimeoutMin, kTimeoutMax);
    timeout_->setTickPosition(QSlider::TicksBelow);
    timeout_->setGeometry(DluQRect(46, 168, 100, 16));
    PageText(this, QStringLiteral("Long"), DluQRect(148, 172, 20, 9));
    minutes_ = PageText(this, QStringLiteral("1"), DluQRect(172, 172, 12, 9));
    PageText(this, QStringLiteral("minutes"), DluQRect(186, 172, 32, 9));

    connect(security_, &QComboBox::currentIndexChanged, this, [this] { SetModified(); });
    connect(timeout_, &QSlider::valueChanged, this, [this](int v) {
        minutes_->setText(QString::number(v));
        // Keys move the slider without a release.
        if (!timeout_->isSliderDown()) SetModified();
    });
    connect(timeout_, &QSlider::sliderReleased, this, [this] { SetModified(); });
}

void CSettingsAlertsAccount::OnInitDialog() {
    const AccountFields f = LoadAccount(app_.Document().Fields());
    server_->setText(FromUtf8(f.server));
    port_->setText(FromUtf8(f.port));
    sender_->setText(FromUtf8(f.sender));
    user_->setText(FromUtf8(f.user));
    password_->setText(FromUtf8(f.password));
    security_->setCurrentIndex(f.security);
    timeout_->setValue(f.timeout);
    minutes_->setText(QString::number(timeout_->value()));
}

AccountFields CSettingsAlertsAccount::Fields() const {
    AccountFields f;
    f.server = Utf8(server_->text());
    f.port = Utf8(port_->text());
    f.sender = Utf8(sender_->text());
    f.user = Utf8(user_->text());
    f.password = Utf8(password_->text());
    f.security = security_->currentIndex();
    f.timeout = minutes_->text().toInt();
    return f;
}

bool CSettingsAlertsAccount::OnOK() {
    const AccountFields f = Fields();
    if (Refused(prompt_, CheckAccount(f))) {
        if (!ValidSmtpPort(f.port)) port_->setFocus();
        return false;
    }
    return SavePage(app_, prompt_, [&](CTarvellDoc& doc) { StoreAccount(doc, f); });
}

// ---- E-mail

CSettingsAlertsEmail::CSettingsAlertsEmail(CTarvellApp& app, Prompt& prompt, QWidget* parent)
    : CPropertyPage(QStringLiteral("E-mail"), parent), app_(app), prompt_(prompt) {
    PageLook(this);
    PageGroup(this, QStringLiteral("E-mail options"), DluQRect(7, 7, 221, 196));
    subjectBox_ = new QCheckBox(QStringLiteral("Send subject:"), this);
    subjectBox_->setGeometry(DluQRect(15, 18, 100, 11));
    subjectLink_ = BlueLink(this, QStringLiteral("Select properties"), DluQRect(150, 19, 70, 10));
    subject_ = Named(Edit(this, DluQRect(15, 31, 205, 12), this), QStringLiteral("Subject"));
    bodyBox_ = new QCheckBox(QStringLiteral("Send body:"), this);
    bodyBox_->setGeometry(DluQRect(15, 50, 100, 11));
    bodyLink_ = BlueLink(this, QStringLiteral("Select properties"), DluQRect(150, 51, 70, 10));
    body_ = Named(new QPlainTextEdit(this), QStringLiteral("Body"));
    body_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    body_->setLineWrapMode(QPlainTextEdit::NoWrap);
    body_->setGeometry(DluQRect(15, 63, 205, 118));
    default_ = BlueLink(this, QStringLiteral("Set default"), DluQRect(175, 187, 45, 10));
    subjectLink_->hide();
    bodyLink_->hide();

    for (QCheckBox* box : {subjectBox_, bodyBox_})
        connect(box, &QCheckBox::toggled, this, [this] {
            Follow();
            SetModified();
        });
    connect(body_, &QPlainTextEdit::textChanged, this, [this] {
        if (body_->hasFocus()) SetModified();
    });
    connect(subjectLink_, &LinkLabel::activated, this, [this] {
        if (InsertAlertVariable(subject_)) SetModified();
    });
    connect(bodyLink_, &LinkLabel::activated, this, [this] {
        if (InsertAlertVariable(body_)) SetModified();
    });
    connect(default_, &LinkLabel::activated, this, [this] {
        MessageFields f = Fields();
        SetDefaultMessage(f);
        Show(f);
        SetModified();
    });
}

void CSettingsAlertsEmail::Follow() {
    subject_->setEnabled(subjectBox_->isChecked());
    subjectLink_->setVisible(subjectBox_->isChecked());
    body_->setEnabled(bodyBox_->isChecked());
    bodyLink_->setVisible(bodyBox_->isChecked());
}

void CSettingsAlertsEmail::Show(const MessageFields& f) {
    subjectBox_->setChecked(f.sendSubject);
    bodyBox_->setChecked(f.sendBody);
    subject_->setText(FromUtf8(f.subject));
    body_->setPlainText(FromUtf8(f.body));
    Follow();
}

void CSettingsAlertsEmail::OnInitDialog() { Show(LoadMessage(app_.Document().Fields())); }

MessageFields CSettingsAlertsEmail::Fields() const {
    MessageFields f;
    f.sendSubject = subjectBox_->isChecked();
    f.subject = Utf8(subject_->text());
    f.sendBody = bodyBox_->isChecked();
    f.body = Utf8(body_->toPlainText());
    return f;
}

bool CSettingsAlertsEmail::OnOK() {
    const MessageFields f = Fields();
    if (Refused(prompt_, CheckMessage(f))) return false;
    return SavePage(app_, prompt_, [&](CTarvellDoc& doc) { StoreMessage(doc, f); });
}

// ---- Reports

CSettingsAlertsReports::CSettingsAlertsReports(CTarvellApp& app, Prompt& prompt, QWidget* parent)
    : CPropertyPage(QStringLiteral("Reports"), parent), app_(app), prompt_(prompt) {
    PageLook(this);
    PageGroup(this, QStringLiteral("Report types"), DluQRect(7, 7, 221, 40));
    daily_ = new QCheckBox(QStringLiteral("Send daily report."), this);
    daily_->setGeometry(DluQRect(15, 18, 200, 11));
    weekly_ = new QCheckBox(QStringLiteral("Send weekly report."), this);
    weekly_->setGeometry(DluQRect(15, 31, 200, 11));
    PageGroup(this, QStringLiteral("Report details"), DluQRect(7, 57, 221, 146));
    list_ = Named(new CCheckListCtrl(this), QStringLiteral("Report details"));
    list_->InsertColumn(0, QString(), 290);
    list_->SetHeaderVisible(false);
    list_->setGeometry(DluQRect(15, 68, 205, 112));
    checkAll_ = BlueLink(this, QStringLiteral("Check all"), DluQRect(125, 187, 45, 10));
    uncheckAll_ = BlueLink(this, QStringLiteral("Uncheck all"), DluQRect(175, 187, 46, 10));

    for (QCheckBox* box : {daily_, weekly_})
        connect(box, &QCheckBox::toggled, this, [this] { SetModified(); });
    // A ticked row is a change like any other: Test must not send with it unapplied.
    connect(list_, &CCheckListCtrl::itemToggled, this, [this] { SetModified(); });
    connect(checkAll_, &LinkLabel::activated, this, [this] { SetAll(true); });
    connect(uncheckAll_, &LinkLabel::activated, this, [this] { SetAll(false); });
}

void CSettingsAlertsReports::OnInitDialog() {
    const ReportChoice c = LoadReports(app_.Document().Fields());
    daily_->setChecked(c.daily);
    weekly_->setChecked(c.weekly);
    list_->DeleteAllItems();
    for (std::size_t i = 0; i < kReportRowCount; ++i) {
        const int row = list_->InsertItem(static_cast<int>(i), ReportRowNames()[i]);
        list_->SetCheck(row, c.rows[i]);
    }
}

void CSettingsAlertsReports::SetAll(bool on) {
    for (int row = 0; row < list_->ItemCount(); ++row) list_->SetCheck(row, on);
    SetModified();
}

ReportChoice CSettingsAlertsReports::Choice() const {
    ReportChoice c;
    c.daily = daily_->isChecked();
    c.weekly = weekly_->isChecked();
    for (std::size_t i = 0; i < kReportRowCount; ++i)
        c.rows[i] = list_->GetCheck(static_cast<int>(i));
    return c;
}

bool CSettingsAlertsReports::OnOK() {
    const ReportChoice c = Choice();
    return SavePage(app_, prompt_, [&](CTarvellDoc& doc) { StoreReports(doc, c); });
}

// ---- Sheets

void AddEmailOptionsPages(CPropertySheet& sheet, CTarvellApp& app, Prompt& prompt,
                          ServiceControl* service) {
    sheet.AddPage(new CSettingsAlertsAccount(app, prompt));
    sheet.AddPage(new CSettingsAlertsRecipients(app, prompt, service));
    sheet.AddPage(new CSettingsAlertsEmail(app, prompt));
    sheet.AddPage(new CSettingsAlertsReports(app, prompt));
}

void RegisterAlertChannelSheets() {
    RegisterSettingsSheet(QStringLiteral("Email Options"), [](const SheetServices& s) {
        CPropertySheet sheet(QStringLiteral("Email Options"), s.parent);
        AddEmailOptionsPages(sheet, s.context.app, s.context.prompt, s.context.service);
        return sheet.DoModal() == kSheetOk;
    });
    RegisterSettingsSheet(QStringLiteral("Run Commands Options"), [](const SheetServices& s) {
        CPropertySheet sheet(QStringLiteral("Run Commands Options"), s.parent);
        AddRunCommandsOptionsPages(sheet, s.context.app, s.context.prompt, s.files,
                                   s.context.service);
        return sheet.DoModal() == kSheetOk;
    });
}

}  // namespace tarvell
