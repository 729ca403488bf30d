#include "viewer/protection/PreventionPagesUi.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTimeEdit>
#include <QVBoxLayout>

#include "viewer/core/hub/CTarvellApp.h"
#include "viewer/core/protection/ProtectionRows.h"
#include "viewer/core/base/CommandIds.h"
#include "viewer/core/shell/CommandRouter.h"
#include "viewer/core/base/Prompt.h"
#include "viewer/protection/CProtectionListWnd.h"
#include "viewer/protection/CLogonPropertiesDlg.h"
#include "viewer/protection/ProtectionPages.h"
#include "viewer/widgets/Accessibility.h"
#include "viewer/widgets/CSortListCtrl.h"
#include "viewer/widgets/Pickers.h"
#include "viewer/widgets/TextConv.h"

namespace tarvell {

namespace {

QCheckBox* Check(QWidget* page, QLayout* layout, const char* text) {
    auto* box = new QCheckBox(QString::fromLatin1(text), page);
    layout->addWidget(box);
    return box;
}

// Day texts and dates as the dialog's time pickers show them: 24 hours.
QTime TimeOf(int seconds) { return QTime(0, 0).addSecs(seconds); }
int SecondsOf(const QTime& t) { return QTime(0, 0).secsTo(t); }

}  // namespace

// ---- schedule dialog

CSchedulePropertiesDlg::CSchedulePropertiesDlg(Prompt& prompt, QWidget* parent)
    : QDialog(parent), prompt_(prompt) {
    setWindowTitle(QStringLiteral("Schedule Properties"));
    auto* layout = new QVBoxLayout(this);
    auto* day = new QGridLayout;
    daily_ = new QRadioButton(QStringLiteral("Daily:"), this);
    specific_ = new QRadioButton(QStringLiteral("Specific Day:"), this);
    days_ = Named(new QComboBox(this), QStringLiteral("Daily"));
    days_->setEditable(true);
    for (const std::string& text : ScheduleDayTexts()) days_->addItem(FromStored(text));
    date_ = Named(new QDateEdit(QDate::currentDate(), this), QStringLiteral("Specific Day"));
    date_->setDisplayFormat(QStringLiteral("M/d/yyyy"));
    date_->setEnabled(false);
    daily_->setChecked(true);
    day->addWidget(daily_, 0, 0);
    day->addWidget(days_, 0, 1);
    day->addWidget(specific_, 1, 0);
    day->addWidget(date_, 1, 1);
    layout->addLayout(day);
    auto* time = new QFormLayout;
    start_ = new QTimeEdit(QTime(0, 0), this);
    end_ = new QTimeEdit(QTime(1, 0), this);
    for (QTimeEdit* t : {start_, end_}) {
        t->setDisplayFormat(QStringLiteral("HH:mm:ss"));
        t->setTimeRange(QTime(0, 0), QTime(23, 59, 59));
    }
    time->addRow(QStringLiteral("Start Time:"), start_);
    time->addRow(QStringLiteral("End Time:"), end_);
    layout->addLayout(time);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(daily_, &QRadioButton::toggled, this, [this](bool on) {
        days_->setEnabled(on);
        date_->setEnabled(!on);
    });
    const auto move = [this](bool startChanged) {
        ScheduleRow row{0, SecondsOf(start_->time()), SecondsOf(end_->time())};
        startChanged ? ScheduleStartChanged(row) : ScheduleEndChanged(row);
        const QSignalBlocker b1(start_), b2(end_);
        start_->setTime(TimeOf(row.start));
        end_->setTime(TimeOf(row.end));
    };
    connect(start_, &QTimeEdit::timeChanged, this, [move] { move(true); });
    connect(end_, &QTimeEdit::timeChanged, this, [move] { move(false); });
}

std::optional<ScheduleRow> CSchedulePropertiesDlg::Chosen() const {
    const QString dayText = daily_->isChecked()
                                ? days_->currentText()
                                : date_->date().toString(QStringLiteral("M/d/yyyy"));
    const auto day = ParseScheduleDay(ToStored(dayText));
    if (!day) return std::nullopt;
    return ScheduleRow{*day, SecondsOf(start_->time()), SecondsOf(end_->time())};
}

void CSchedulePropertiesDlg::accept() {
    if (Chosen()) {
        QDialog::accept();
        return;
    }
    // A typed day that is neither a day text nor a date: the dialog stays open and says why.
    prompt_.AskString(static_cast<unsigned>(kMsgSettingsInvalid), PromptButtons::Ok,
                      PromptIcon::Information);
    days_->setFocus();
}

// ---- common frame

CPreventionPage::CPreventionPage(CProtectionListWnd& list, int row, const QString& caption)
    : CPropertyPage(caption), list_(list), row_(row) {}

void CPreventionPage::Tell(int message) {
    const PageContext& context = list_.Context();
    if (message != kMsgEmailRequired && message != kMsgWriteCommunityRequired) {
        context.prompt.AskString(static_cast<unsigned>(message), PromptButtons::Ok,
                                 PromptIcon::Information);
        return;
    }
    if (context.prompt.AskString(static_cast<unsigned>(message), PromptButtons::YesNo,
                                 PromptIcon::Information) != PromptAnswer::Yes)
        return;
    if (Sheet()) Sheet()->EndSheet(-1);
    context.router.Send(cmd::kSettings);
    context.router.Send(message == kMsgEmailRequired ? cmd::kSettingsAlerts : cmd::kSettingsSnmp);
}

bool CPreventionPage::Passes(int message) {
    if (message == 0) return true;
    Tell(message);
    return false;
}

bool CPreventionPage::ServiceUserAccount() const {
    const PageContext& context = list_.Context();
    return context.serviceUserAccount && context.serviceUserAccount() == 1;
}

const CTarvellDoc* CPreventionPage::Reloaded() {
    CTarvellApp& app = list_.Context().app;
    if (app.ReloadDocument()) return &app.Document().Fields();
    list_.Context().prompt.AskString(EditResultMessage(EditResult::ReloadFailed), PromptButtons::Ok,
                                     PromptIcon::Information);
    return nullptr;
}

bool CPreventionPage::Save(const std::function<void(CTarvellDoc&)>& store) {
    return SaveProtectionPage(list_, row_, store) == EditResult::Saved;
}

// ---- real-time alerts (row 0)

CProtectionPreventAlerts::CProtectionPreventAlerts(CProtectionListWnd& list)
    : CPreventionPage(list, 0, QStringLiteral("Prevention Properties")) {
    auto* layout = new QVBoxLayout(this);
    boxes_[0] = Check(this, layout, "Enable real-time alerts prevention.");
    boxes_[1] = Check(this, layout,
                      "Enable prevention status alert on enabling and disabling prevention "
                      "activity.");
    boxes_[2] = Check(this, layout,
                      "Enable unblock button for activating blocked nodes on email prevention "
                      "alerts.");
    boxes_[3] = Check(this, layout,
                      "Enable unblock and delete button for removing blocked nodes on email "
                      "prevention alerts.");
    boxes_[4] = Check(this, layout,
                      "Enable password alert for monitor screen stop prevention and unblock all "
                      "events option. Set preferred password: ");
    password_ = Named(new QLineEdit(this), QStringLiteral("Stop prevention password"));
    password_->setEchoMode(QLineEdit::Password);
    layout->addWidget(password_);
    layout->addStretch(1);
    for (QCheckBox* box : boxes_)
        connect(box, &QCheckBox::toggled, this, [this] {
            Sync();
            SetModified();
        });
    connect(boxes_[0], &QCheckBox::toggled, this, [this](bool on) {
        if (on) return;
        for (int i = 1; i < 5; ++i) boxes_[i]->setChecked(false);
    });
    connect(boxes_[4], &QCheckBox::toggled, this, [this](bool on) {
        if (on) password_->setFocus();
        else password_->clear();
    });
    connect(password_, &QLineEdit::textEdited, this, [this] { SetModified(); });
}

void CProtectionPreventAlerts::OnInitDialog() {
    PreventAlertsPage page;
    if (auto doc = ShownSettings(list_.Context().app)) page = LoadPreventAlerts(*doc);
    const bool flags[5] = {page.master, page.statusAlert, page.unblockLink, page.deleteLink,
                           page.passwordOn};
    for (int i = 0; i < 5; ++i) {
        const QSignalBlocker block(boxes_[i]);
        boxes_[i]->setChecked(flags[i]);
    }
    password_->setText(FromStored(page.password));
    Sync();
}

PreventAlertsPage CProtectionPreventAlerts::Taken() const {
    PreventAlertsPage page;
    page.master = boxes_[0]->isChecked();
    page.statusAlert = boxes_[1]->isChecked();
    page.unblockLink = boxes_[2]->isChecked();
    page.deleteLink = boxes_[3]->isChecked();
    page.passwordOn = boxes_[4]->isChecked();
    page.password = ToStored(password_->text());
    return page;
}

void CProtectionPreventAlerts::Sync() {
    for (int i = 1; i < 5; ++i) boxes_[i]->setEnabled(boxes_[0]->isChecked());
    password_->setEnabled(boxes_[0]->isChecked() && boxes_[4]->isChecked());
}

bool CProtectionPreventAlerts::OnKillActive() {
    const PreventAlertsPage page = Taken();
    if (!page.master || (!page.unblockLink && !page.deleteLink)) return true;
    const CTarvellDoc* doc = Reloaded();
    return doc && Passes(Check(page, *doc));
}

bool CProtectionPreventAlerts::OnOK() {
    const PreventAlertsPage page = Taken();
    return Save([&page](CTarvellDoc& d) { Store(page, d); });
}

// ---- notification message (row 1) and network script (row 3)

CProtectionPreventOptions::CProtectionPreventOptions(CProtectionListWnd& list, bool scripts)
    : CPreventionPage(list, scripts ? 3 : 1, QStringLiteral("Prevention Properties")),
      scripts_(scripts) {
    auto* layout = new QVBoxLayout(this);
    master_ = Check(
        this, layout,
        scripts ? "Enable script files prevention." : "Enable notification message prevention.");
    const char* texts[2][2] = {
        {"Enable Net Send alert notification message to network intruders before they are being "
         "deactivated.\n\nType the message that will be sent to network intruders:",
         "Run Script file as notification message to network intruders before they are being "
         "deactivated.\n\nSelect the script file (the intruder's computer name is sent as "
         "argument):"},
        {"Enable deactivation script file that will be used for blocking network intruders.\n\n"
         "Select the script file (\"<device address>/<port>\" is sent as argument):",
         "Enable activation script file that will be used for unblocking network intruders.\n\n"
         "Select the script file (\"<device address>/<port>\" is sent as argument):"}};
    for (int i = 0; i < 2; ++i) {
        Controls& c = options_[i];
        c.check = Check(this, layout, texts[scripts ? 1 : 0][i]);
        auto* row = new QHBoxLayout;
        c.text = Named(new QLineEdit(this), c.check->text().section(QLatin1Char('\n'), 0, 0));
        c.text->setMaxLength(1024);
        row->addWidget(c.text, 1);
        if (scripts || i == 1) {
            c.browse = new QPushButton(QStringLiteral("Browse..."), this);
            row->addWidget(c.browse);
            connect(c.browse, &QPushButton::clicked, this, [this, i] {
                if (const auto chosen = DesktopFilePicker().PickFile(this, QStringLiteral("*")))
                    options_[i].text->setText(*chosen);
                SetModified();
            });
        }
        c.logon = new QPushButton(QStringLiteral("Logon..."), this);
        row->addWidget(c.logon);
        layout->addLayout(row);
        connect(c.check, &QCheckBox::toggled, this, [this, i](bool on) {
            if (!on) options_[i].text->clear();
            Sync();
            SetModified();
        });
        connect(c.text, &QLineEdit::textEdited, this, [this] { SetModified(); });
        connect(c.logon, &QPushButton::clicked, this, [this, i] {
            const PageContext& context = list_.Context();
            CLogonPropertiesDlg dialog(
                logons_[i], [this] { return ServiceUserAccount(); }, context.prompt, this);
            if (dialog.exec() == QDialog::Accepted) {
                logons_[i] = dialog.Account();
                SetModified();
            }
        });
    }
    layout->addStretch(1);
    connect(master_, &QCheckBox::toggled, this, [this](bool on) {
        if (!on)
            for (Controls& c : options_) c.check->setChecked(false);
        Sync();
        SetModified();
    });
}

void CProtectionPreventOptions::OnInitDialog() {
    TwoOptionPage page;
    if (auto doc = ShownSettings(list_.Context().app))
        page = scripts_ ? LoadScripts(*doc) : LoadNotify(*doc);
    const QSignalBlocker block(master_);
    master_->setChecked(page.master);
    const TwoOptionPage::Option* options[2] = {&page.first, &page.second};
    for (int i = 0; i < 2; ++i) {
        const QSignalBlocker b(options_[i].check);
        options_[i].check->setChecked(options[i]->on);
        options_[i].text->setText(FromStored(options[i]->text));
        logons_[i] = options[i]->logon;
    }
    Sync();
}

TwoOptionPage CProtectionPreventOptions::Taken() const {
    TwoOptionPage page;
    page.master = master_->isChecked();
    TwoOptionPage::Option* options[2] = {&page.first, &page.second};
    for (int i = 0; i < 2; ++i)
        *options[i] = {options_[i].check->isChecked(), ToStored(options_[i].text->text()),
                       logons_[i]};
    return page;
}

void CProtectionPreventOptions::Sync() {
    for (Controls& c : options_) {
        c.check->setEnabled(master_->isChecked());
        const bool own = master_->isChecked() && c.check->isChecked();
        for (QWidget* w : {static_cast<QWidget*>(c.text), static_cast<QWidget*>(c.browse),
                           static_cast<QWidget*>(c.logon)})
            if (w) w->setEnabled(own);
    }
}

bool CProtectionPreventOptions::OnKillActive() {
    return Passes(Check(Taken(), ServiceUserAccount()));
}

bool CProtectionPreventOptions::OnOK() {
    const TwoOptionPage page = Taken();
    const bool scripts = scripts_;
    return Save([&page, scripts](CTarvellDoc& d) {
        scripts ? StoreScripts(page, d) : StoreNotify(page, d);
    });
}

// ---- SNMP interfaces (row 2)

CProtectionPreventSnmp::CProtectionPreventSnmp(CProtectionListWnd& list)
    : CPreventionPage(list, 2, QStringLiteral("Prevention Properties")) {
    auto* layout = new QVBoxLayout(this);
    master_ = Check(this, layout, "Enable snmp interfaces prevention.");
    standard_ = new QRadioButton(
        QStringLiteral("Use standard SNMP interfaces prevention and activation."), this);
    specific_ = new QRadioButton(
        QStringLiteral("Use specific SNMP interfaces prevention and activation."), this);
    auto* method = new QButtonGroup(this);
    method->addButton(standard_);
    method->addButton(specific_);
    layout->addWidget(standard_);
    layout->addWidget(specific_);
    auto* grid = new QGridLayout;
    const char* labels[4] = {"Prevention Query:", "Value:", "Activation Query:", "Value:"};
    for (int i = 0; i < 4; ++i) {
        edits_[i] = new QLineEdit(this);
        edits_[i]->setMaxLength(i % 2 == 0 ? 1024 : 255);
        auto* label = new QLabel(QString::fromLatin1(labels[i]), this);
        Labelled(label, edits_[i]);
        if (i % 2)
            SetControlName(edits_[i], NameFromLabel(labels[i - 1]) + QStringLiteral(" value"));
        grid->addWidget(label, i / 2, (i % 2) * 2);
        grid->addWidget(edits_[i], i / 2, (i % 2) * 2 + 1);
        connect(edits_[i], &QLineEdit::textEdited, this, [this] { SetModified(); });
    }
    // A whole interface OID shows in the query boxes; the values are short.
    const int oidWidth =
        fontMetrics().horizontalAdvance(QStringLiteral("1.3.6.1.2.1.2.2.1.7.10001"));
    for (int i : {0, 2}) edits_[i]->setMinimumWidth(oidWidth + 16);
    for (int i : {1, 3})
        edits_[i]->setMaximumWidth(fontMetrics().horizontalAdvance(QStringLiteral("0000000")) + 16);
    grid->setColumnStretch(1, 3);
    grid->setColumnStretch(3, 1);
    layout->addLayout(grid);
    layout->addStretch(1);
    connect(master_, &QCheckBox::toggled, this, [this](bool on) {
        if (on) standard_->setChecked(true);
        Sync();
        SetModified();
    });
    for (QRadioButton* r : {standard_, specific_})
        connect(r, &QRadioButton::toggled, this, [this] {
            Sync();
            SetModified();
        });
}

void CProtectionPreventSnmp::OnInitDialog() {
    PreventSnmpPage page;
    if (auto doc = ShownSettings(list_.Context().app)) page = LoadPreventSnmp(*doc);
    const QSignalBlocker b0(master_), b1(standard_), b2(specific_);
    master_->setChecked(page.master);
    (page.standard ? standard_ : specific_)->setChecked(true);
    const std::string* texts[4] = {&page.blockQuery, &page.blockValue, &page.unblockQuery,
                                   &page.unblockValue};
    for (int i = 0; i < 4; ++i) edits_[i]->setText(FromStored(*texts[i]));
    Sync();
}

PreventSnmpPage CProtectionPreventSnmp::Taken() const {
    PreventSnmpPage page;
    page.master = master_->isChecked();
    page.standard = !specific_->isChecked();
    page.blockQuery = ToStored(edits_[0]->text());
    page.blockValue = ToStored(edits_[1]->text());
    page.unblockQuery = ToStored(edits_[2]->text());
    page.unblockValue = ToStored(edits_[3]->text());
    return page;
}

void CProtectionPreventSnmp::Sync() {
    const bool on = master_->isChecked();
    standard_->setEnabled(on);
    specific_->setEnabled(on);
    for (QLineEdit* e : edits_) e->setEnabled(on && specific_->isChecked());
}

bool CProtectionPreventSnmp::OnKillActive() {
    const PreventSnmpPage page = Taken();
    if (!page.master) return true;
    const CTarvellDoc* doc = Reloaded();
    return doc && Passes(Check(page, *doc));
}

bool CProtectionPreventSnmp::OnOK() {
    const PreventSnmpPage page = Taken();
    return Save([&page](CTarvellDoc& d) { Store(page, d); });
}

// ---- schedule time (row 4)

CProtectionPreventSchedule::CProtectionPreventSchedule(CProtectionListWnd& list)
    : CPreventionPage(list, 4, QStringLiteral("Prevention Properties")) {
    auto* layout = new QVBoxLayout(this);
    master_ = Check(this, layout, "Enable inactivity schedule prevention.");
    deleteLink_ = Check(this, layout, "Enable delete button on email alerts at inactivity times.");
    rows_ = new CSortListCtrl(this);
    for (const char* column : {"Date", "Start Time", "End Time"})
        rows_->InsertColumn(rows_->header()->count(), QString::fromLatin1(column), 100);
    rows_->header()->setSectionResizeMode(QHeaderView::Stretch);
    layout->addWidget(rows_, 1);
    SetControlName(rows_, QStringLiteral("Inactivity schedule"));
    auto* buttons = new QHBoxLayout;
    add_ = new QPushButton(QStringLiteral("Add..."), this);
    remove_ = new QPushButton(QStringLiteral("Remove"), this);
    buttons->addStretch(1);
    buttons->addWidget(add_);
    buttons->addWidget(remove_);
    layout->addLayout(buttons);
    connect(master_, &QCheckBox::toggled, this, [this](bool on) {
        if (!on) {
            deleteLink_->setChecked(false);
            state_.clear();
            Fill();
        }
        Sync();
        SetModified();
    });
    connect(deleteLink_, &QCheckBox::toggled, this, [this] { SetModified(); });
    connect(rows_->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            [this] { Sync(); });
    connect(rows_, &CSortListCtrl::headerClicked, this, &CProtectionPreventSchedule::SortBy);
    connect(add_, &QPushButton::clicked, this, [this] {
        CSchedulePropertiesDlg dialog(list_.Context().prompt, this);
        if (dialog.exec() == QDialog::Accepted)
            if (const auto row = dialog.Chosen()) AddRow(*row);
    });
    connect(remove_, &QPushButton::clicked, this, [this] {
        const int index = rows_->SelectedRow();
        if (index < 0 || index >= static_cast<int>(state_.size())) return;
        state_.erase(state_.begin() + index);
        Fill();
        Sync();
        SetModified();
    });
}

void CProtectionPreventSchedule::AddRow(const ScheduleRow& row) {
    state_.push_back(row);
    Sorted(0, true);
    SetModified();
}

void CProtectionPreventSchedule::SortBy(int column) {
    if (column < 0 || column > 2) return;
    Sorted(column, !ascending_);
}

void CProtectionPreventSchedule::Sorted(int column, bool ascending) {
    ascending_ = ascending;
    SortScheduleRowsBy(state_, column, ascending);
    Fill();
    rows_->SetSortIndicator(column, ascending);
    Sync();
}

void CProtectionPreventSchedule::Fill() {
    std::vector<ListRow> rows;
    for (const ScheduleRow& row : state_)
        rows.push_back(
            ListRow{{FromStored(ScheduleDayText(row.day)), FromStored(ScheduleTimeText(row.start)),
                     FromStored(ScheduleTimeText(row.end))}});
    rows_->Rows()->SetRows(std::move(rows));
}

void CProtectionPreventSchedule::OnInitDialog() {
    PreventSchedulePage page;
    if (auto doc = ShownSettings(list_.Context().app)) page = LoadPreventSchedule(*doc);
    const QSignalBlocker b0(master_), b1(deleteLink_);
    master_->setChecked(page.master);
    deleteLink_->setChecked(page.deleteLink);
    state_ = page.rows;
    Sorted(0, true);
}

void CProtectionPreventSchedule::Sync() {
    const bool on = master_->isChecked();
    deleteLink_->setEnabled(on);
    add_->setEnabled(on);
    remove_->setEnabled(on && rows_->SelectedRow() >= 0);
}

bool CProtectionPreventSchedule::OnKillActive() {
    PreventSchedulePage page{master_->isChecked(), deleteLink_->isChecked(), state_};
    return Passes(Check(page));
}

bool CProtectionPreventSchedule::OnOK() {
    const PreventSchedulePage page{master_->isChecked(), deleteLink_->isChecked(), state_};
    return Save([&page](CTarvellDoc& d) { Store(page, d); });
}

// ---- automatic unblocking (row 5)

CProtectionPreventUnblock::CProtectionPreventUnblock(CProtectionListWnd& list)
    : CPreventionPage(list, 5, QStringLiteral("Prevention Properties")) {
    auto* layout = new QVBoxLayout(this);
    master_ = Check(this, layout, "Enable automatic unblocking prevention.");
    auto* row = new QHBoxLayout;
    auto* after = new QLabel(QStringLiteral("Unblock prevented nodes after:"), this);
    row->addWidget(after);
    minutes_ = Labelled(after, new QSpinBox(this));
    minutes_->setRange(0, 10'000);
    minutes_->setSpecialValueText(QStringLiteral(" "));  // 0 shows an empty edit
    row->addWidget(minutes_);
    row->addWidget(new QLabel(QStringLiteral("minute(s)."), this));
    row->addStretch(1);
    layout->addLayout(row);
    system_ = Check(this, layout, "Activate intruders that were blocked by system.");
    manual_ = Check(this, layout, "Activate intruders that were blocked by manual request.");
    const char* choices[3] = {"Don't use any node authorization.",
                              "Add node to white list authorized nodes.",
                              "Add node to black list unauthorized nodes."};
    auto* group = new QButtonGroup(this);
    for (int i = 0; i < 3; ++i) {
        authorization_[i] = new QRadioButton(QString::fromLatin1(choices[i]), this);
        group->addButton(authorization_[i]);
        layout->addWidget(authorization_[i]);
        connect(authorization_[i], &QRadioButton::toggled, this, [this] { SetModified(); });
    }
    layout->addStretch(1);
    connect(master_, &QCheckBox::toggled, this, [this](bool on) {
        minutes_->setValue(on ? 1 : 0);
        system_->setChecked(on);
        manual_->setChecked(on);
        authorization_[0]->setChecked(true);
        Sync();
        SetModified();
    });
    connect(minutes_, &QSpinBox::valueChanged, this, [this] { SetModified(); });
    for (QCheckBox* b : {system_, manual_})
        connect(b, &QCheckBox::toggled, this, [this] { SetModified(); });
}

void CProtectionPreventUnblock::OnInitDialog() {
    PreventUnblockPage page;
    if (auto doc = ShownSettings(list_.Context().app)) page = LoadPreventUnblock(*doc);
    const QSignalBlocker b0(master_);
    master_->setChecked(page.master);
    minutes_->setValue(page.master ? ParseBoxNumber(page.minutes).value_or(0) : 0);
    system_->setChecked(page.systemBlocked);
    manual_->setChecked(page.manualBlocked);
    authorization_[std::clamp(page.authorization, 0, 2)]->setChecked(true);
    Sync();
}

PreventUnblockPage CProtectionPreventUnblock::Taken() const {
    PreventUnblockPage page;
    page.master = master_->isChecked();
    page.minutes = minutes_->value() == 0 ? "" : std::to_string(minutes_->value());
    page.systemBlocked = system_->isChecked();
    page.manualBlocked = manual_->isChecked();
    for (int i = 0; i < 3; ++i)
        if (authorization_[i]->isChecked()) page.authorization = i;
    return page;
}

void CProtectionPreventUnblock::Sync() {
    const bool on = master_->isChecked();
    for (QWidget* w : std::initializer_list<QWidget*>{minutes_, system_, manual_, authorization_[0],
                                                      authorization_[1], authorization_[2]})
        w->setEnabled(on);
}

bool CProtectionPreventUnblock::OnKillActive() { return Passes(Check(Taken())); }

bool CProtectionPreventUnblock::OnOK() {
    const PreventUnblockPage page = Taken();
    return Save([&page](CTarvellDoc& d) { Store(page, d); });
}

void RegisterPreventionPages() {
    const auto side = cmd::kIntrusionPrevention;
    SetProtectionPage(side, 0, [](CProtectionListWnd& l) -> CPropertyPage* {
        return new CProtectionPreventAlerts(l);
    });
    SetProtectionPage(side, 1, [](CProtectionListWnd& l) -> CPropertyPage* {
        return new CProtectionPreventOptions(l, false);
    });
    SetProtectionPage(side, 2, [](CProtectionListWnd& l) -> CPropertyPage* {
        return new CProtectionPreventSnmp(l);
    });
    SetProtectionPage(side, 3, [](CProtectionListWnd& l) -> CPropertyPage* {
        return new CProtectionPreventOptions(l, true);
    });
    SetProtectionPage(side, 4, [](CProtectionListWnd& l) -> CPropertyPage* {
        return new CProtectionPreventSchedule(l);
    });
    SetProtectionPage(side, 5, [](CProtectionListWnd& l) -> CPropertyPage* {
        return new CProtectionPreventUnblock(l);
    });
}

}  // namespace tarvell
