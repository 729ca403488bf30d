#include "viewer/protection/DetectionPagesUi.h"

#include <QButtonGroup>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QRadioButton>
#include <QTextEdit>
#include <QVBoxLayout>
#include <algorithm>

#include "viewer/core/protection/ProtectionRows.h"
#include "viewer/core/base/CommandIds.h"
#include "viewer/core/base/Prompt.h"
#include "viewer/protection/CProtectionListWnd.h"
#include "viewer/protection/NodeDialogs.h"
#include "viewer/protection/ProtectionPages.h"
#include "viewer/widgets/Accessibility.h"
#include "viewer/widgets/LinkLabel.h"
#include "viewer/widgets/CSortListCtrl.h"
#include "viewer/widgets/Pickers.h"
#include "viewer/widgets/TextConv.h"

namespace tarvell {
namespace {

// Clears every sub-protection box without the box's own handler: the master switch that does it
// has already cleared the page's state.
template <typename Subs>
void UntickQuietly(Subs& subs) {
    for (auto& s : subs) {
        const QSignalBlocker block(s.check);
        s.check->setChecked(false);
    }
}

SelectDevicesHook& DevicesHook() {
    static SelectDevicesHook hook;
    return hook;
}

// Runs the devices list on `keys`; true when it was accepted.
bool SelectDevices(QWidget* parent, CProtectionListWnd& list, std::vector<std::string>& keys) {
    if (DevicesHook()) return DevicesHook()(parent, keys);
    const PageContext& context = list.Context();
    CDevicesListDlg dialog(
        keys, NodeDialogServicesOf(context.app, context.prompt, DesktopFilePicker()).devices,
        context.prompt, parent);
    return dialog.exec() == QDialog::Accepted;
}

bool ServiceUserAccount(CProtectionListWnd& list) {
    const PageContext& context = list.Context();
    return context.serviceUserAccount && context.serviceUserAccount() == 1;
}

// Runs the Logon Properties dialog on `logon`; true (and `logon` replaced) on OK.
bool RunLogon(QWidget* parent, CProtectionListWnd& list, std::string& logon) {
    CLogonPropertiesDlg dialog(
        logon, [&list] { return ServiceUserAccount(list); }, list.Context().prompt, parent);
    if (dialog.exec() != QDialog::Accepted) return false;
    logon = dialog.Account();
    return true;
}

// A page's check: 0 passes; a message is told (information icon) and keeps the sheet open.
bool Passes(CProtectionListWnd& list, int message) {
    if (message == 0) return true;
    list.Context().prompt.AskString(static_cast<unsigned>(message), PromptButtons::Ok,
                                    PromptIcon::Information);
    return false;
}

QLabel* Heading(QWidget* page, QLayout* layout, const char* text) {
    auto* head = new QLabel(QString::fromUtf8(text), page);
    head->setWordWrap(true);
    layout->addWidget(head);
    return head;
}

}  // namespace

void SetSelectDevicesHook(SelectDevicesHook hook) { DevicesHook() = std::move(hook); }

CProtectionDetectFlags::CProtectionDetectFlags(CProtectionListWnd& list, int row,
                                               const char* heading, const char* master,
                                               const std::array<SubText, 4>& texts)
    : CPropertyPage(QStringLiteral("Detection Properties")), list_(list), row_(row) {
    auto* layout = new QVBoxLayout(this);
    auto* head = new QLabel(QString::fromUtf8(heading), this);
    head->setWordWrap(true);
    layout->addWidget(head);
    master_ = new QCheckBox(QString::fromUtf8(master), this);
    layout->addWidget(master_);
    for (std::size_t i = 0; i < subs_.size(); ++i) {
        auto& s = subs_[i];
        s.check = new QCheckBox(QString::fromUtf8(texts[i].first), this);
        s.second = new QLabel(QString::fromUtf8(texts[i].second), this);
        s.link = MakeLink(QStringLiteral("Select Devices..."));
        layout->addWidget(s.check);
        layout->addWidget(s.second);
        layout->addWidget(s.link);
        connect(s.check, &QCheckBox::toggled, this, [this, i](bool on) {
            state_[i].on = on;
            Sync();
            SetModified();
        });
        connect(s.link, &LinkLabel::activated, this, [this, i](CommandId) {
            SelectDevices(this, list_, state_[i].devices);
            SetModified();
        });
    }
    layout->addStretch(1);
    connect(master_, &QCheckBox::toggled, this, [this](bool on) {
        for (auto& s : state_) s.on = false;
        UntickQuietly(subs_);
        (void)on;
        Sync();
        SetModified();
    });
}

void CProtectionDetectFlags::OnInitDialog() {
    bool master = false;
    if (auto doc = ShownSettings(list_.Context().app)) Load(*doc, master, state_);
    const QSignalBlocker block(master_);
    master_->setChecked(master);
    for (std::size_t i = 0; i < subs_.size(); ++i) {
        const QSignalBlocker b(subs_[i].check);
        subs_[i].check->setChecked(state_[i].on);
    }
    Sync();
}

void CProtectionDetectFlags::Sync() {
    const bool master = master_->isChecked();
    for (std::size_t i = 0; i < subs_.size(); ++i) {
        subs_[i].check->setEnabled(master);
        subs_[i].second->setEnabled(master);
        subs_[i].link->setVisible(SubControlsEnabled(master, state_[i]));
    }
}

bool CProtectionDetectFlags::OnOK() {
    const bool master = master_->isChecked();
    const auto subs = state_;
    return SaveProtectionPage(list_, row_, [this, master, &subs](CTarvellDoc& d) {
               Store(master, subs, d);
           }) == EditResult::Saved;
}

CProtectionDetectNew::CProtectionDetectNew(CProtectionListWnd& list)
    : CProtectionDetectFlags(
          list, 1,
          "Set detection of new nodes properties and alerts when they are trying to access the "
          "network.",
          "Enable new nodes detection.",
          {{{"New MAC Detection.", "Discover new mac addresses and alerts on network access."},
            {"New IP Detection.", "Discover new ip addresses and alerts on network access."},
            {"New Name Detection.", "Discover new computer names and alerts on network access."},
            {"New Users Detection.", "Discover new user names and alerts on network access."}}}) {}

void CProtectionDetectNew::Load(const CTarvellDoc& doc, bool& master,
                                std::array<SubProtection, 4>& subs) {
    const auto page = LoadNewNodes(doc);
    master = page.master;
    subs = page.subs;
}

void CProtectionDetectNew::Store(bool master, const std::array<SubProtection, 4>& subs,
                                 CTarvellDoc& doc) {
    NewNodesPage page;
    page.master = master;
    page.subs = subs;
    tarvell::Store(page, doc);
}

CProtectionDetectChanges::CProtectionDetectChanges(CProtectionListWnd& list)
    : CProtectionDetectFlags(list, 2,
                             "Set detection of changed nodes properties and alerts when they are "
                             "trying to access the network.",
                             "Enable changed nodes detection.",
                             {{{"Changed IP Detection.",
                                "Discover changed ip addresses and alerts on network access."},
                               {"Changed Name Detection.",
                                "Discover changed computer names and alerts on network access."},
                               {"Changed User Detection.",
                                "Discover changed user names and alerts on network access."},
                               {"Changed Port Detection.",
                                "Discover changed port location and alerts on network access."}}}) {
}

void CProtectionDetectChanges::Load(const CTarvellDoc& doc, bool& master,
                                    std::array<SubProtection, 4>& subs) {
    const auto page = LoadChangedNodes(doc);
    master = page.master;
    subs = page.subs;
}

void CProtectionDetectChanges::Store(bool master, const std::array<SubProtection, 4>& subs,
                                     CTarvellDoc& doc) {
    ChangedNodesPage page;
    page.master = master;
    page.subs = subs;
    tarvell::Store(page, doc);
}

CProtectionDetectScript::CProtectionDetectScript(CProtectionListWnd& list)
    : CPropertyPage(QStringLiteral("Detection Properties")), list_(list) {
    auto* layout = new QVBoxLayout(this);
    auto* head = new QLabel(
        QStringLiteral("Set detection of linkup script and alerts when the script failed running "
                       "on specific computer."),
        this);
    head->setWordWrap(true);
    layout->addWidget(head);
    master_ = new QCheckBox(QStringLiteral("Enable linkup script detection."), this);
    sub_ = new QCheckBox(
        QStringLiteral(
            "Enable linkup script file that will be used when computer network link is "
            "activated.\n\nSelect the script file (Computer name will be sent as argument):"),
        this);
    file_ = Named(new QLineEdit(this), QStringLiteral("Linkup script file"));
    file_->setMaxLength(1024);
    browse_ = new QPushButton(QStringLiteral("Browse..."), this);
    logon_ = new QPushButton(QStringLiteral("Logon..."), this);
    link_ = MakeLink(QStringLiteral("Select Devices..."));
    layout->addWidget(master_);
    layout->addWidget(sub_);
    auto* fileRow = new QHBoxLayout;
    fileRow->addWidget(file_, 1);
    fileRow->addWidget(browse_);
    fileRow->addWidget(logon_);
    layout->addLayout(fileRow);
    layout->addWidget(link_);
    layout->addStretch(1);
    connect(master_, &QCheckBox::toggled, this, [this](bool on) {
        TakeFile();
        SetMaster(state_, on);
        const QSignalBlocker block(sub_);
        sub_->setChecked(false);
        file_->clear();
        Sync();
        SetModified();
    });
    connect(sub_, &QCheckBox::toggled, this, [this](bool on) {
        state_.sub.on = on;
        if (!on) file_->clear();
        Sync();
        if (on) file_->setFocus();
        SetModified();
    });
    connect(file_, &QLineEdit::textEdited, this, [this] { SetModified(); });
    connect(browse_, &QPushButton::clicked, this, [this] {
        const auto chosen = DesktopFilePicker().PickFile(this, QStringLiteral("Scripts (*)"));
        if (chosen) file_->setText(*chosen);
        SetModified();
    });
    connect(logon_, &QPushButton::clicked, this, [this] {
        if (RunLogon(this, list_, state_.logon)) SetModified();
    });
    connect(link_, &LinkLabel::activated, this, [this](CommandId) {
        SelectDevices(this, list_, state_.sub.devices);
        SetModified();
    });
}

void CProtectionDetectScript::OnInitDialog() {
    if (auto doc = ShownSettings(list_.Context().app)) state_ = LoadScript(*doc);
    const QSignalBlocker b1(master_), b2(sub_);
    master_->setChecked(state_.master);
    sub_->setChecked(state_.sub.on);
    file_->setText(QString::fromStdString(state_.file));
    Sync();
}

void CProtectionDetectScript::TakeFile() { state_.file = file_->text().toStdString(); }

void CProtectionDetectScript::Sync() {
    const bool master = master_->isChecked();
    const bool own = SubControlsEnabled(master, state_.sub);
    sub_->setEnabled(master);
    file_->setEnabled(own);
    browse_->setEnabled(own);
    logon_->setEnabled(own);
    link_->setVisible(own);
}

bool CProtectionDetectScript::OnKillActive() {
    TakeFile();
    return Passes(list_, Check(state_, ServiceUserAccount(list_)));
}

bool CProtectionDetectScript::OnOK() {
    TakeFile();
    const ScriptPage page = state_;
    return SaveProtectionPage(list_, 5, [&page](CTarvellDoc& d) { Store(page, d); }) ==
           EditResult::Saved;
}

// ---- unauthorized nodes (row 0)

CProtectionDetectUnauthorized::CProtectionDetectUnauthorized(CProtectionListWnd& list)
    : CPropertyPage(QStringLiteral("Detection Properties")), list_(list) {
    auto* layout = new QVBoxLayout(this);
    Heading(this, layout,
            "Set detection of unauthorized nodes addresses and alerts when they are trying to "
            "access the network.");
    master_ = new QCheckBox(QStringLiteral("Enable unauthorized nodes detection."), this);
    layout->addWidget(master_);
    static const char* const kTexts[UnauthorizedPage::kSubs][3] = {
        {"Enable Nodes Black List.", "Discover unsafe nodes and alerts on network access.",
         "Manage Black List..."},
        {"Enable Nodes White List.", "Discover safe nodes and don't alerts on network access.",
         "Manage White List..."},
        {"Enable Nodes/Port count.", "Discover nodes/port count and alerts on maximum threshold.",
         "Manage Nodes Count..."}};
    for (std::size_t i = 0; i < subs_.size(); ++i) {
        auto& s = subs_[i];
        s.check = new QCheckBox(QString::fromUtf8(kTexts[i][0]), this);
        s.second = new QLabel(QString::fromUtf8(kTexts[i][1]), this);
        s.second->setWordWrap(true);
        s.manage = new QPushButton(QString::fromUtf8(kTexts[i][2]), this);
        s.link = MakeLink(QStringLiteral("Select Devices..."));
        auto* row = new QHBoxLayout;
        auto* captions = new QVBoxLayout;
        captions->addWidget(s.check);
        captions->addWidget(s.second);
        captions->addWidget(s.link);
        row->addLayout(captions, 1);
        row->addWidget(s.manage, 0, Qt::AlignTop);
        layout->addLayout(row);
        connect(s.check, &QCheckBox::toggled, this, [this, i](bool on) {
            state_.subs[i].on = on;
            Sync();
            SetModified();
        });
        connect(s.link, &LinkLabel::activated, this, [this, i](CommandId) {
            if (SelectDevices(this, list_, state_.subs[i].devices)) SetModified();
        });
        connect(s.manage, &QPushButton::clicked, this,
                [this, i] { RunManage(static_cast<int>(i)); });
    }
    layout->addStretch(1);
    connect(master_, &QCheckBox::toggled, this, [this](bool on) {
        SetMaster(state_, on);
        UntickQuietly(subs_);
        Sync();
        SetModified();
    });
}

void CProtectionDetectUnauthorized::OnInitDialog() {
    if (auto doc = ShownSettings(list_.Context().app)) state_ = LoadUnauthorized(*doc);
    const QSignalBlocker block(master_);
    master_->setChecked(state_.master);
    for (std::size_t i = 0; i < subs_.size(); ++i) {
        const QSignalBlocker b(subs_[i].check);
        subs_[i].check->setChecked(state_.subs[i].on);
    }
    Sync();
}

void CProtectionDetectUnauthorized::Sync() {
    const bool master = master_->isChecked();
    for (std::size_t i = 0; i < subs_.size(); ++i) {
        const bool own = SubControlsEnabled(master, state_.subs[i]);
        subs_[i].check->setEnabled(master);
        subs_[i].second->setEnabled(master);
        subs_[i].manage->setEnabled(own);
        subs_[i].link->setVisible(own);
    }
}

// The manage dialogs save the lists themselves when accepted, whatever the sheet does after.
void CProtectionDetectUnauthorized::RunManage(int i) {
    const PageContext& context = list_.Context();
    const auto opened = ShownSettings(context.app);
    if (!opened) return;
    NodeDialogServices services =
        NodeDialogServicesOf(context.app, context.prompt, DesktopFilePicker());
    int result = QDialog::Rejected;
    if (i == UnauthorizedPage::NodesCount) {
        CNodesCountDlg dialog(state_.threshold, *opened, std::move(services), this);
        result = dialog.exec();
    } else {
        const bool black = i == UnauthorizedPage::BlackList;
        CUnauthorizedListDlg dialog(
            Manage(i)->text(), *opened,
            black ? &CTarvellDoc::NodesBlackList : &CTarvellDoc::NodesWhiteList,
            black ? &CTarvellDoc::BlackListImportFile : &CTarvellDoc::WhiteListImportFile,
            std::move(services), this);
        result = dialog.exec();
    }
    if (result == QDialog::Accepted) SetModified();
}

bool CProtectionDetectUnauthorized::OnOK() {
    const UnauthorizedPage page = state_;
    return SaveProtectionPage(list_, 0, [&page](CTarvellDoc& d) { Store(page, d); }) ==
           EditResult::Saved;
}

// ---- number box

CNumberBox::CNumberBox(QWidget* parent) : QAbstractSpinBox(parent) {
    lineEdit()->setMaxLength(16);
    connect(lineEdit(), &QLineEdit::textEdited, this, [this] { emit edited(); });
}

void CNumberBox::SetRange(int low, int high) {
    low_ = low;
    high_ = high;
}

QString CNumberBox::Text() const { return lineEdit()->text(); }

void CNumberBox::SetText(const QString& text) { lineEdit()->setText(text); }

void CNumberBox::stepBy(int steps) {
    if (high_ <= 0) return;
    const auto typed = ParseBoxNumber(Text().toStdString());
    const long long value = typed ? *typed : low_;
    SetText(QString::number(std::clamp<long long>(value + steps, low_, high_)));
    emit edited();
}

QValidator::State CNumberBox::validate(QString& input, int&) const {
    for (const QChar c : input)
        if (c < QLatin1Char('0') || c > QLatin1Char('9')) return QValidator::Invalid;
    return QValidator::Acceptable;
}

QAbstractSpinBox::StepEnabled CNumberBox::stepEnabled() const {
    if (high_ <= 0 || !isEnabled()) return StepNone;
    const auto typed = ParseBoxNumber(Text().toStdString());
    const long long value = typed ? *typed : low_;
    StepEnabled enabled = StepNone;
    if (value < high_) enabled |= StepUpEnabled;
    if (value > low_) enabled |= StepDownEnabled;
    return enabled;
}

// ---- threatened nodes (row 3)

CProtectionDetectThreats::CProtectionDetectThreats(CProtectionListWnd& list)
    : CPropertyPage(QStringLiteral("Detection Properties")), list_(list) {
    auto* layout = new QVBoxLayout(this);
    Heading(this, layout,
            "Set detection of threatened nodes properties and alerts when they are trying to "
            "access the network.");
    master_ = new QCheckBox(QStringLiteral("Enable threatened nodes detection."), this);
    layout->addWidget(master_);
    static const char* const kTexts[ThreatsPage::kThresholds + 1][2] = {
        {"Receive Rate Detection.", "Detect receive rate threshold higher than (%):"},
        {"Transmit Rate Detection.", "Detect transmit rate threshold higher than (%):"},
        {"Broadcast Rate Detection.", "Detect broadcast rate threshold higher than (p/s):"},
        {"Error Rate Detection.", "Detect error rate threshold higher than (p/s):"},
        {"Normal Rate Detection.", nullptr}};
    for (std::size_t i = 0; i < subs_.size(); ++i) {
        auto& s = subs_[i];
        s.check = new QCheckBox(QString::fromUtf8(kTexts[i][0]), this);
        layout->addWidget(s.check);
        if (kTexts[i][1]) {
            auto* row = new QHBoxLayout;
            s.label = new QLabel(QString::fromUtf8(kTexts[i][1]), this);
            s.box = Labelled(s.label, new CNumberBox(this));
            s.box->setFixedWidth(80);
            row->addWidget(s.label);
            row->addWidget(s.box);
            row->addStretch(1);
            layout->addLayout(row);
            connect(s.box, &CNumberBox::edited, this, [this] { SetModified(); });
        }
        s.link = MakeLink(QStringLiteral("Select Devices..."));
        layout->addWidget(s.link);
        const int which = static_cast<int>(i);
        connect(s.check, &QCheckBox::toggled, this, [this, which](bool on) {
            Take();
            if (which < ThreatsPage::kThresholds) SetThreshold(state_, which, on);
            else state_.normalRate.on = on;
            Show();
            Sync();
            SetModified();
        });
        connect(s.link, &LinkLabel::activated, this, [this, which](CommandId) {
            SelectDevices(this, list_, SubOf(which).devices);
            SetModified();
        });
    }
    layout->addStretch(1);
    connect(master_, &QCheckBox::toggled, this, [this](bool on) {
        SetMaster(state_, on);
        UntickQuietly(subs_);
        Show();
        Sync();
        SetModified();
    });
}

SubProtection& CProtectionDetectThreats::SubOf(int i) {
    return i < ThreatsPage::kThresholds ? state_.thresholds[static_cast<std::size_t>(i)].sub
                                        : state_.normalRate;
}

void CProtectionDetectThreats::Take() {
    for (std::size_t i = 0; i < state_.thresholds.size(); ++i)
        state_.thresholds[i].text = subs_[i].box->Text().toStdString();
}

// The boxes from the state: a threshold that is on steps within its range, one that is off not.
void CProtectionDetectThreats::Show() {
    for (std::size_t i = 0; i < state_.thresholds.size(); ++i) {
        const auto& t = state_.thresholds[i];
        const SpinRange range = t.sub.on ? ThresholdRange(static_cast<int>(i)) : SpinRange{};
        subs_[i].box->SetRange(range.low, range.high);
        subs_[i].box->SetText(QString::fromStdString(t.text));
    }
}

void CProtectionDetectThreats::OnInitDialog() {
    if (auto doc = ShownSettings(list_.Context().app)) state_ = LoadThreats(*doc);
    const QSignalBlocker block(master_);
    master_->setChecked(state_.master);
    for (std::size_t i = 0; i < subs_.size(); ++i) {
        const QSignalBlocker b(subs_[i].check);
        subs_[i].check->setChecked(SubOf(static_cast<int>(i)).on);
    }
    Show();
    Sync();
}

void CProtectionDetectThreats::Sync() {
    const bool master = master_->isChecked();
    for (std::size_t i = 0; i < subs_.size(); ++i) {
        auto& s = subs_[i];
        const bool own = SubControlsEnabled(master, SubOf(static_cast<int>(i)));
        s.check->setEnabled(master);
        if (s.label) s.label->setEnabled(own);
        if (s.box) s.box->setEnabled(own);
        s.link->setVisible(own);
    }
}

bool CProtectionDetectThreats::OnKillActive() {
    Take();
    return Passes(list_, Check(state_));
}

bool CProtectionDetectThreats::OnOK() {
    Take();
    const ThreatsPage page = state_;
    return SaveProtectionPage(list_, 3, [&page](CTarvellDoc& d) { Store(page, d); }) ==
           EditResult::Saved;
}

// ---- WMI value and properties dialogs

CWmiValueDlg::CWmiValueDlg(std::vector<std::string>& values, int index, Prompt& prompt,
                           QWidget* parent)
    : QDialog(parent), values_(values), index_(index), prompt_(prompt) {
    setWindowTitle(QStringLiteral("WMI Value"));
    auto* layout = new QVBoxLayout(this);
    auto* label =
        new QLabel(QStringLiteral("Set WMI value to the list of available values:"), this);
    layout->addWidget(label);
    edit_ = Labelled(label, new QPlainTextEdit(this));
    layout->addWidget(edit_);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    if (index_ >= 0 && index_ < static_cast<int>(values_.size()))
        edit_->setPlainText(FromStored(values_[static_cast<std::size_t>(index_)]));
}

void CWmiValueDlg::accept() {
    std::string value = ToStored(edit_->toPlainText());
    if (CheckWmiValue(value) != 0) {
        prompt_.AskString(static_cast<unsigned>(kMsgSettingsInvalid), PromptButtons::Ok,
                          PromptIcon::Information);
        return;
    }
    if (index_ >= 0 && index_ < static_cast<int>(values_.size()))
        values_.erase(values_.begin() + index_);
    InsertWmiValue(values_, std::move(value));
    QDialog::accept();
}

CWmiPropertiesDlg::CWmiPropertiesDlg(std::vector<WmiConditionRow>& rows, int index, Prompt& prompt,
                                     QWidget* parent)
    : QDialog(parent), rows_(rows), index_(index), prompt_(prompt) {
    setWindowTitle(QStringLiteral("WMI Properties"));
    resize(420, 440);
    auto* layout = new QVBoxLayout(this);
    auto* group = new QGroupBox(QStringLiteral("Select WMI property from the list below"), this);
    auto* inner = new QVBoxLayout(group);
    auto* propertyLabel = new QLabel(QStringLiteral("WMI property:"), group);
    inner->addWidget(propertyLabel);
    property_ = Labelled(propertyLabel, new QComboBox(group));
    property_->setEditable(true);
    property_->setInsertPolicy(QComboBox::NoInsert);
    for (const WmiProperty& p : WmiProperties()) property_->addItem(FromUtf8(p.name));
    inner->addWidget(property_);
    auto* descriptionLabel = new QLabel(QStringLiteral("Description:"), group);
    inner->addWidget(descriptionLabel);
    description_ = Labelled(descriptionLabel, new QTextEdit(group));
    description_->setReadOnly(true);
    description_->setMaximumHeight(90);
    inner->addWidget(description_);
    auto* valuesLabel = new QLabel(QStringLiteral("Available values:"), group);
    inner->addWidget(valuesLabel);
    list_ = Labelled(valuesLabel, new QListWidget(group));
    list_->setSelectionMode(QAbstractItemView::SingleSelection);
    inner->addWidget(list_);
    auto* row = new QHBoxLayout;
    add_ = new QPushButton(QStringLiteral("Add..."), group);
    edit_ = new QPushButton(QStringLiteral("Edit..."), group);
    remove_ = new QPushButton(QStringLiteral("Remove"), group);
    row->addStretch(1);
    for (QPushButton* b : {add_, edit_, remove_}) row->addWidget(b);
    inner->addLayout(row);
    layout->addWidget(group);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    if (index_ >= 0 && index_ < static_cast<int>(rows_.size())) {
        const WmiConditionRow& condition = rows_[static_cast<std::size_t>(index_)];
        const QString name = FromUtf8(WmiRowProperty(condition));
        const int at = name.isEmpty() ? -1 : property_->findText(name);
        property_->setCurrentIndex(at);
        if (at < 0) property_->setEditText(QString());
        for (std::string& v : SplitWmiValues(WmiRowValue(condition)))
            InsertWmiValue(values_, std::move(v));
    } else {
        property_->setCurrentIndex(0);
    }
    Fill();
    Describe();
    Sync();
    connect(property_, &QComboBox::activated, this, [this] { Describe(); });
    connect(list_, &QListWidget::itemSelectionChanged, this, [this] { Sync(); });
    connect(add_, &QPushButton::clicked, this, [this] { RunValue(-1); });
    connect(edit_, &QPushButton::clicked, this, [this] {
        if (list_->currentRow() >= 0) RunValue(list_->currentRow());
    });
    connect(remove_, &QPushButton::clicked, this, [this] {
        const int at = list_->currentRow();
        if (at < 0 || at >= static_cast<int>(values_.size())) return;
        values_.erase(values_.begin() + at);
        Fill();
        Sync();
    });
}

void CWmiPropertiesDlg::RunValue(int index) {
    CWmiValueDlg dialog(values_, index, prompt_, this);
    if (dialog.exec() != QDialog::Accepted) return;
    Fill();
    Sync();
}

void CWmiPropertiesDlg::Fill() {
    list_->clear();
    for (const std::string& v : values_) list_->addItem(FromStored(v));
}

void CWmiPropertiesDlg::Sync() {
    const bool hit = !list_->selectedItems().isEmpty();
    edit_->setEnabled(hit);
    remove_->setEnabled(hit);
}

void CWmiPropertiesDlg::Describe() {
    const int at = property_->currentIndex();
    if (at >= 0 && at < kWmiCodes)
        description_->setPlainText(
            FromUtf8(WmiProperties()[static_cast<std::size_t>(at)].description));
}

void CWmiPropertiesDlg::accept() {
    WmiConditionRow condition;
    if (const int message =
            MakeWmiCondition(ToStored(property_->currentText()), values_, condition)) {
        prompt_.AskString(static_cast<unsigned>(message), PromptButtons::Ok,
                          PromptIcon::Information);
        return;
    }
    if (index_ >= 0 && index_ < static_cast<int>(rows_.size()))
        rows_[static_cast<std::size_t>(index_)] = std::move(condition);
    else rows_.push_back(std::move(condition));
    QDialog::accept();
}

// ---- linkup WMI (row 4)

namespace {
// One direction for every opening of the page: the first click sorts ascending.
bool& WmiSortAscending() {
    static bool ascending = false;
    return ascending;
}
}  // namespace

CProtectionDetectWmi::CProtectionDetectWmi(CProtectionListWnd& list)
    : CPropertyPage(QStringLiteral("Detection Properties")), list_(list) {
    auto* layout = new QVBoxLayout(this);
    Heading(this, layout,
            "Set detection of linkup wmi properties and alerts on a property that is different "
            "from the specified conditions.");
    master_ = new QCheckBox(QStringLiteral("Enable linkup wmi detection."), this);
    layout->addWidget(master_);
    modes_[0] = new QRadioButton(
        QStringLiteral("Detect all windows nodes with WMI support or without it."), this);
    modes_[1] =
        new QRadioButton(QStringLiteral("Detect only windows nodes with WMI support."), this);
    auto* group = new QButtonGroup(this);
    for (int i = 0; i < 2; ++i) {
        group->addButton(modes_[i]);
        layout->addWidget(modes_[i]);
        connect(modes_[i], &QRadioButton::toggled, this, [this, i](bool on) {
            if (!on) return;
            state_.nodesMode = i;
            SetModified();
        });
    }
    rows_ = Named(new CSortListCtrl(this), QStringLiteral("WMI conditions"));
    rows_->InsertColumn(0, QStringLiteral("Property"), 170);
    rows_->InsertColumn(1, QStringLiteral("Value"), 170);
    layout->addWidget(rows_, 1);
    auto* buttons = new QHBoxLayout;
    add_ = new QPushButton(QStringLiteral("Add..."), this);
    remove_ = new QPushButton(QStringLiteral("Remove"), this);
    logon_ = new QPushButton(QStringLiteral("Logon..."), this);
    link_ = MakeLink(QStringLiteral("Select Devices..."));
    buttons->addWidget(link_);
    buttons->addStretch(1);
    for (QPushButton* b : {add_, remove_, logon_}) buttons->addWidget(b);
    layout->addLayout(buttons);

    connect(master_, &QCheckBox::toggled, this, [this](bool on) {
        SetMaster(state_, on);
        Fill();
        Sync();
        SetModified();
    });
    connect(rows_->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            [this] { Sync(); });
    connect(rows_, &QAbstractItemView::doubleClicked, this, [this] {
        if (rows_->SelectedRow() >= 0) RunProperties(rows_->SelectedRow());
    });
    connect(rows_, &CSortListCtrl::headerClicked, this, &CProtectionDetectWmi::SortBy);
    connect(add_, &QPushButton::clicked, this, [this] { RunProperties(-1); });
    connect(remove_, &QPushButton::clicked, this, [this] {
        const int at = rows_->SelectedRow();
        if (at < 0 || at >= static_cast<int>(state_.rows.size())) return;
        state_.rows.erase(state_.rows.begin() + at);
        Fill();
        Sync();
        SetModified();
    });
    connect(logon_, &QPushButton::clicked, this, [this] {
        if (RunLogon(this, list_, state_.logon)) SetModified();
    });
    connect(link_, &LinkLabel::activated, this, [this](CommandId) {
        SelectDevices(this, list_, state_.devices);
        SetModified();
    });
}

void CProtectionDetectWmi::OnInitDialog() {
    if (auto doc = ShownSettings(list_.Context().app)) state_ = LoadWmi(*doc);
    const QSignalBlocker block(master_);
    master_->setChecked(state_.master);
    Fill();
    Sync();
}

// The list and the radios from the state.
void CProtectionDetectWmi::Fill() {
    std::vector<ListRow> rows;
    for (const WmiConditionRow& r : state_.rows) {
        ListRow row;
        row.cells = {FromUtf8(WmiRowProperty(r)), FromStored(WmiRowValue(r))};
        rows.push_back(std::move(row));
    }
    rows_->Rows()->SetRows(std::move(rows));
    auto* group = modes_[0]->group();
    const QSignalBlocker b0(modes_[0]), b1(modes_[1]);
    group->setExclusive(false);
    for (int i = 0; i < 2; ++i) modes_[i]->setChecked(state_.nodesMode == i);
    group->setExclusive(true);
}

void CProtectionDetectWmi::Sync() {
    const bool on = master_->isChecked();
    for (QWidget* w : std::initializer_list<QWidget*>{add_, logon_, modes_[0], modes_[1]})
        w->setEnabled(on);
    remove_->setEnabled(on && rows_->SelectedRow() >= 0);
    link_->setVisible(on);
}

void CProtectionDetectWmi::RunProperties(int index) {
    CWmiPropertiesDlg dialog(state_.rows, index, list_.Context().prompt, this);
    if (dialog.exec() != QDialog::Accepted) return;
    Fill();
    Sync();
    SetModified();
}

void CProtectionDetectWmi::SortBy(int column) {
    bool& ascending = WmiSortAscending();
    ascending = !ascending;
    SortWmiRows(state_.rows, column, ascending);
    Fill();
    rows_->SetSortIndicator(column, ascending);
}

bool CProtectionDetectWmi::OnKillActive() {
    return Passes(list_, Check(state_, ServiceUserAccount(list_)));
}

bool CProtectionDetectWmi::OnOK() {
    const WmiPage page = state_;
    return SaveProtectionPage(list_, 4, [&page](CTarvellDoc& d) { Store(page, d); }) ==
           EditResult::Saved;
}

void RegisterDetectionPages() {
    SetProtectionPage(cmd::kIntrusionDetection, 0, [](CProtectionListWnd& list) -> CPropertyPage* {
        return new CProtectionDetectUnauthorized(list);
    });
    SetProtectionPage(cmd::kIntrusionDetection, 3, [](CProtectionListWnd& list) -> CPropertyPage* {
        return new CProtectionDetectThreats(list);
    });
    SetProtectionPage(cmd::kIntrusionDetection, 4, [](CProtectionListWnd& list) -> CPropertyPage* {
        return new CProtectionDetectWmi(list);
    });
    SetProtectionPage(cmd::kIntrusionDetection, 5, [](CProtectionListWnd& list) -> CPropertyPage* {
        return new CProtectionDetectScript(list);
    });
    SetProtectionPage(cmd::kIntrusionDetection, 1, [](CProtectionListWnd& list) -> CPropertyPage* {
        return new CProtectionDetectNew(list);
    });
    SetProtectionPage(cmd::kIntrusionDetection, 2, [](CProtectionListWnd& list) -> CPropertyPage* {
        return new CProtectionDetectChanges(list);
    });
}

}  // namespace tarvell
