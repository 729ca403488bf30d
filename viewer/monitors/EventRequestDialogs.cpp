#include "viewer/monitors/EventRequestDialogs.h"
#include "viewer/monitors/EventListModel.h"

#include <QApplication>
#include <QButtonGroup>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>
#include <algorithm>

#include "platform/Text.h"
#include "shared/CEventItem.h"
#include "shared/CTarvellDoc.h"
#include "viewer/core/hub/CTarvellApp.h"
#include "viewer/core/look/Look.h"
#include "viewer/core/monitors/MonitorRules.h"
#include "viewer/core/settings/SettingsRules.h"
#include "viewer/core/base/CommandIds.h"
#include "viewer/core/base/Prompt.h"
#include "viewer/core/base/StringTable.h"
#include "viewer/monitors/CEventMonitorWnd.h"
#include "viewer/widgets/Accessibility.h"
#include "viewer/widgets/CPaintListCtrl.h"
#include "viewer/widgets/DialogLook.h"
#include "viewer/widgets/TextConv.h"
#include "viewer/widgets/WaitCursor.h"

namespace tarvell {

namespace {

constexpr int kDialogWidth = 500;
constexpr int kButtonsClosed = 170;
constexpr int kButtonsOpen = 300;

QLabel* Text(QWidget* parent, const QString& text, QRect place, bool bold = false) {
    auto* label = new QLabel(text, parent);
    label->setGeometry(place);
    label->setFont(HeaderFont(bold));
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, bold ? Qt::white : ToQColor(look::kText));
    label->setPalette(palette);
    return label;
}

QRadioButton* Radio(QWidget* parent, const QString& text, QRect place) {
    auto* radio = new QRadioButton(text, parent);
    radio->setGeometry(place);
    radio->setFont(HeaderFont(false));
    return radio;
}

bool Told(Prompt& prompt, EditResult result) {
    if (result == EditResult::Saved) return false;
    prompt.AskString(EditResultMessage(result), PromptButtons::Ok, PromptIcon::Information);
    return true;
}

// The keys of `keys` whose rows are still there, each deleted, highest row first.
void DeleteRows(CPaintListCtrl& list, const std::vector<std::string>& keys) {
    std::vector<int> rows;
    for (const std::string& key : keys)
        if (const int row = RowOfKey(list, key); row >= 0) rows.push_back(row);
    if (EventListModel* model = EventRows(list)) model->RemoveRows(std::move(rows));
}

}  // namespace

std::vector<std::string> RowKeys(const CPaintListCtrl& list, bool selectedOnly) {
    std::vector<std::string> keys;
    const EventListModel* rows = EventRows(list);
    if (rows == nullptr) return keys;
    for (int row = 0; row < rows->rowCount(); ++row) {
        if (selectedOnly && !list.selectionModel()->isRowSelected(row, QModelIndex())) continue;
        keys.push_back(rows->Rows().Key(row));
    }
    return keys;
}

int RowOfKey(const CPaintListCtrl& list, const std::string& key) {
    const EventListModel* rows = EventRows(list);
    return rows == nullptr ? -1 : rows->FindKey(key);
}

void OnBlockEvents(CTarvellApp& app, Prompt& prompt, CPaintListCtrl& list) {
    if (list.SelectedRow() < 0) return;
    const CTarvellDoc& doc = app.Document().Fields();
    if (doc.SnmpPreventionEnabled == 0 && doc.BlockScriptFile.empty()) {
        prompt.AskString(str::kNoPreventionMethod, PromptButtons::Ok, PromptIcon::Information);
        return;
    }
    if (prompt.AskString(str::kAskBlockEvents, PromptButtons::OkCancel, PromptIcon::Information) !=
        PromptAnswer::Ok)
        return;
    WaitCursor wait;
    // The rows are read once the question is answered: a pass may have changed them meanwhile.
    const std::vector<std::string> keys = RowKeys(list, true);
    if (Told(prompt, BlockEvents(app, keys))) return;
    DeleteRows(list, keys);
}

void OnRemoveEvents(CTarvellApp& app, Prompt& prompt, CPaintListCtrl& list) {
    if (list.SelectedRow() < 0) return;
    if (prompt.AskString(str::kAskRemoveEvents, PromptButtons::OkCancel, PromptIcon::Information) !=
        PromptAnswer::Ok)
        return;
    WaitCursor wait;
    EditResult result = EditResult::Saved;
    const std::vector<std::string> removed = app.RemoveEvents(RowKeys(list, true), &result);
    if (Told(prompt, result)) return;
    DeleteRows(list, removed);
}

void InstallEventRequestHooks(CEventMonitorWnd& window) {
    const PageContext& context = window.Context();
    window.hooks.blockEvents = [&context](CPaintListCtrl* list) {
        OnBlockEvents(context.app, context.prompt, *list);
    };
    window.hooks.removeEvents = [&context](CPaintListCtrl* list) {
        OnRemoveEvents(context.app, context.prompt, *list);
    };
    window.hooks.unblockEvents = [&context, &window](CPaintListCtrl* list) {
        CUnblockEventsDlg dialog(context.app, context.prompt, *list, &window);
        dialog.exec();
    };
    window.hooks.setEventInformation = [&window](bool, const std::string& key) {
        CEventInformationDlg dialog(key, window);
        dialog.exec();
    };
}

// ---- unblock dialogs

CUnblockEventsDlg::CUnblockEventsDlg(CTarvellApp& app, Prompt& prompt, CPaintListCtrl& list,
                                     QWidget* parent)
    : CUnblockEventsDlg(app, prompt, list, parent, false) {}

CUnblockEventsDlg::CUnblockEventsDlg(CTarvellApp& app, Prompt& prompt, CPaintListCtrl& list,
                                     QWidget* parent, bool stopPrevention)
    : QDialog(parent), app_(app), prompt_(prompt), list_(list) {
    setWindowTitle(stopPrevention ? QStringLiteral("Stop Prevention and Unblock Events")
                                  : QStringLiteral("Unblock Selected Events"));
    setObjectName(stopPrevention ? QStringLiteral("dialog252") : QStringLiteral("dialog236"));
    Text(this, QStringLiteral("Select unblocking options."), {10, 3, 400, 16}, true);
    auto* icon = new QLabel(this);
    icon->setPixmap(style()->standardIcon(QStyle::SP_MessageBoxQuestion).pixmap(32, 32));
    icon->setGeometry(20, 45, 32, 32);
    question_ = Text(this,
                     stopPrevention ? QStringLiteral("Are you sure you want to stop prevention "
                                                     "and unblock all events?")
                                    : QStringLiteral("Are you sure you want to unblock the "
                                                     "selected events?"),
                     {65, 45, 360, 32});
    question_->setWordWrap(true);
    removal_[0] =
        Radio(this, QStringLiteral("Unblock selected events and delete them from the events list."),
              {65, 88, 425, 20});
    removal_[1] = Radio(
        this, QStringLiteral("Unblock selected events and move them to the detection events list."),
        {65, 112, 425, 20});
    authorizationPrompt_ =
        Text(this, QStringLiteral("Select which node authorization you would like to use:"),
             {65, 175, 365, 18});
    const char* choices[3] = {"Remove node from unauthorized black list.",
                              "Keep node in unauthorized black list.",
                              "Move node to authorized white list."};
    for (int i = 0; i < 3; ++i) {
        authorization_[i] = new QRadioButton(QString::fromLatin1(choices[i]), this);
        authorization_[i]->setFont(HeaderFont(false));
        authorization_[i]->setGeometry(65, 200 + 24 * i, 365, 20);
        authorization_[i]->hide();
    }
    authorizationPrompt_->hide();
    // The two groups of radios are exclusive each within itself.
    auto* removals = new QButtonGroup(this);
    for (QRadioButton* r : removal_) removals->addButton(r);
    auto* authorizations = new QButtonGroup(this);
    for (QRadioButton* r : authorization_) authorizations->addButton(r);
    removal_[0]->setChecked(true);
    authorization_[0]->setChecked(true);
    ok_ = new QPushButton(QStringLiteral("OK"), this);
    cancel_ = new QPushButton(QStringLiteral("Cancel"), this);
    options_ = new QPushButton(QStringLiteral("Options >>"), this);
    ok_->setDefault(true);
    connect(ok_, &QPushButton::clicked, this, &QDialog::accept);
    connect(cancel_, &QPushButton::clicked, this, &QDialog::reject);
    connect(options_, &QPushButton::clicked, this, &CUnblockEventsDlg::OnOptions);
    PlaceButtons(kButtonsClosed);
}

bool CUnblockEventsDlg::OptionsShown() const { return options_->text().contains("<<"); }

void CUnblockEventsDlg::OnOptions() {
    const bool open = !OptionsShown();
    options_->setText(open ? QStringLiteral("Options <<") : QStringLiteral("Options >>"));
    authorizationPrompt_->setVisible(open);
    for (QRadioButton* r : authorization_) r->setVisible(open);
    PlaceButtons(open ? kButtonsOpen : kButtonsClosed);
    update();
}

void CUnblockEventsDlg::PlaceButtons(int top) {
    ok_->setGeometry(kDialogWidth - 255, top, 75, 24);
    cancel_->setGeometry(kDialogWidth - 172, top, 75, 24);
    options_->setGeometry(kDialogWidth - 89, top, 80, 24);
    setFixedSize(kDialogWidth, top + 24 + 20);
}

UnblockOptions CUnblockEventsDlg::Chosen() const {
    UnblockOptions chosen;
    chosen.removal =
        removal_[1]->isChecked() ? UnblockRemoval::MoveToDetection : UnblockRemoval::DeleteEvent;
    chosen.authorization = authorization_[1]->isChecked() ? NodeAuthorization::KeepInBlackList
                           : authorization_[2]->isChecked()
                               ? NodeAuthorization::MoveToWhiteList
                               : NodeAuthorization::RemoveFromBlackList;
    return chosen;
}

CUnblockEventsDlg::Unblocked CUnblockEventsDlg::Unblock(const std::vector<std::string>& keys,
                                                        bool stopPrevention,
                                                        std::optional<std::string> password) {
    WaitCursor wait;
    const UnblockOutcome outcome =
        UnblockEvents(app_, {keys, Chosen(), stopPrevention, std::move(password)});
    if (outcome.wrongPassword) {
        prompt_.AskString(str::kIncorrectPassword, PromptButtons::Ok, PromptIcon::Information);
        return Unblocked::WrongPassword;
    }
    if (Told(prompt_, outcome.result)) return Unblocked::Failed;
    for (const std::string& key : keys)
        if (const int row = RowOfKey(list_, key); row >= 0) EventRows(list_)->SetUnblockWaiting(row);
    return Unblocked::Written;
}

void CUnblockEventsDlg::accept() {
    if (Unblock(RowKeys(list_, true), false, std::nullopt) == Unblocked::Written) QDialog::accept();
}

void CUnblockEventsDlg::paintEvent(QPaintEvent*) {
    QPainter p(this);
    PaintDialogFrame(p, rect(), 8, width() - 8, height() - 8);
}

CStopPreventionDlg::CStopPreventionDlg(CTarvellApp& app, Prompt& prompt, CPaintListCtrl& list,
                                       QWidget* parent)
    : CUnblockEventsDlg(app, prompt, list, parent, true) {
    passwordPrompt_ =
        Text(this, QStringLiteral("Please provide security password for the operation:"),
             {65, 45, 360, 18});
    password_ = Labelled(passwordPrompt_, new QLineEdit(this));
    password_->setEchoMode(QLineEdit::Password);
    password_->setGeometry(65, 68, 250, 22);
    SetPasswordMode(!app.Document().Fields().MonitorPassword.empty());
}

void CStopPreventionDlg::SetPasswordMode(bool on) {
    passwordMode_ = on;
    if (on && OptionsShown()) OnOptions();
    passwordPrompt_->setVisible(on);
    password_->setVisible(on);
    question_->setVisible(!on);
    for (QRadioButton* r : removal_) r->setVisible(!on);
    options_->setEnabled(!on);
    if (on) {
        password_->clear();
        password_->setFocus();
    }
}

void CStopPreventionDlg::accept() {
    if (passwordMode_) {
        typed_ = ToStored(password_->text());
        if (typed_ != app_.Document().Fields().MonitorPassword) {
            password_->clear();
            password_->setFocus();
            prompt_.AskString(str::kIncorrectPassword, PromptButtons::Ok, PromptIcon::Information);
            return;
        }
        SetPasswordMode(false);
        return;
    }
    // Every prevention event of the hub, whether the list's filter shows it or not, and the
    // password once more against the settings as they are at the save.
    std::vector<std::string> keys = RowKeys(list_, false);
    const CTarvellDoc& doc = app_.Document().Fields();
    for (const auto& [key, event] : app_.Events()->EventMap)
        if (IsPreventionEvent(key, *event, doc) &&
            std::find(keys.begin(), keys.end(), key) == keys.end())
            keys.push_back(key);
    const bool hadPassword = !typed_.empty();
    switch (Unblock(keys, true, hadPassword ? std::optional<std::string>(typed_) : std::nullopt)) {
        case Unblocked::Written: QDialog::accept(); break;
        // The password changed since it was typed: it is asked for again, as the settings now
        // have it, instead of repeating the refusal at every OK.
        case Unblocked::WrongPassword:
            typed_.clear();
            SetPasswordMode(true);
            break;
        case Unblocked::Failed: break;
    }
}

// ---- event information

CEventInformationDlg::CEventInformationDlg(const std::string& key, CEventMonitorWnd& window)
    : QDialog(&window), key_(key), window_(window) {
    setWindowTitle(QStringLiteral("Event Information"));
    setObjectName(QStringLiteral("dialog218"));
    setFixedSize(kDialogWidth, 330);
    Text(this, QStringLiteral("Set additional event information."), {10, 3, 400, 16}, true);
    const char* labels[4] = {"Event Date:", "Device Name:", "Device Ip:", "Device Port:"};
    CEventItem event;
    const bool found = window.Context().app.LookupEvent(key, event);
    std::string values[4];
    if (found) {
        values[0] = FormatEventTime(event.DateKey);
        values[1] = event.DeviceName;
        values[2] = event.DeviceIp;
        values[3] = event.DevicePort;
    }
    for (int i = 0; i < 4; ++i) {
        Text(this, QString::fromLatin1(labels[i]), {20, 45 + 20 * i, 95, 18});
        values_[i] = Text(this, FromStored(values[i]), {120, 45 + 20 * i, 300, 18});
    }
    QLabel* noteLabel =
        Text(this, QStringLiteral("Set or modify any additional information about this event:"),
             {20, 135, 400, 18});
    note_ = Labelled(noteLabel, new QPlainTextEdit(this));
    note_->setGeometry(20, 157, kDialogWidth - 40, 115);
    note_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    // The note as last loaded; the file is read again only at OK.
    const auto note = NoteOf(window.Context().app.Document().Fields(), key);
    note_->setPlainText(
        FromStored(note.value_or("")).replace(QStringLiteral("\r\n"), QStringLiteral("\n")));
    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    auto* cancel = new QPushButton(QStringLiteral("Cancel"), this);
    ok->setGeometry(kDialogWidth - 172, 285, 75, 24);
    cancel->setGeometry(kDialogWidth - 89, 285, 75, 24);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
}

QString CEventInformationDlg::ValueText(int line) const { return values_[line]->text(); }

void CEventInformationDlg::accept() {
    const PageContext& context = window_.Context();
    // A character Windows-1252 cannot hold would be stored as "?": refused, as every settings
    // text is, and the stored note stays as it was.
    if (const unsigned refused = CheckStorable({note_->toPlainText().toUtf8().toStdString()})) {
        context.prompt.AskString(refused, PromptButtons::Ok, PromptIcon::Information);
        note_->setFocus();
        return;
    }
    // The edit gives LF; the note keeps the line breaks as the service's texts have them.
    const std::string text = ToStored(note_->toPlainText());
    std::string stored;
    for (const char c : text) {
        if (c == '\n') stored += '\r';
        stored += c;
    }
    const EditResult result = StoreNote(context.app, key_, stored);
    if (Told(context.prompt, result)) return;  // the dialog stays open with the typed note
    const bool detection = window_.Mode() == cmd::kDetectionMonitor;
    CPaintListCtrl* list = window_.List(detection);
    if (const int row = RowOfKey(*list, key_); row >= 0) {
        const int image = (detection ? 0 : 2) + (stored.empty() ? 0 : 1);
        EventRows(*list)->SetImage(row, image);
    }
    QDialog::accept();
}

void CEventInformationDlg::paintEvent(QPaintEvent*) {
    QPainter p(this);
    PaintDialogFrame(p, rect(), 8, width() - 8, height() - 8);
}

}  // namespace tarvell
