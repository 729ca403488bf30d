#include "viewer/protection/NodeDialogs.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpressionValidator>
#include <QSpinBox>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "shared/SettingRanges.h"
#include "viewer/core/hub/CTarvellApp.h"
#include "viewer/core/hub/ViewerDocument.h"
#include "viewer/core/protection/LogonText.h"
#include "viewer/core/base/StringTable.h"
#include "viewer/widgets/Accessibility.h"
#include "viewer/widgets/CCheckListCtrl.h"
#include "viewer/widgets/CIpAddressCtrl.h"
#include "viewer/widgets/DialogLook.h"
#include "viewer/widgets/LinkLabel.h"
#include "viewer/widgets/TextConv.h"
#include "viewer/widgets/WaitCursor.h"

namespace tarvell {

namespace {

QString Q(const std::string& s) { return QString::fromStdString(s); }
std::string S(const QString& s) { return s.toStdString(); }

void Tell(Prompt* prompt, unsigned id) {
    if (prompt) prompt->AskString(id, PromptButtons::Ok, PromptIcon::Information);
}

QDialogButtonBox* OkCancel(QDialog* dialog) {
    auto* box = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, dialog);
    QObject::connect(box, &QDialogButtonBox::accepted, dialog, &QDialog::accept);
    QObject::connect(box, &QDialogButtonBox::rejected, dialog, &QDialog::reject);
    return box;
}

// "ip/name/..." -> name (the whole value without "/") or ip.
std::string DevicePart(const std::string& value, bool name) {
    const std::size_t first = value.find('/');
    if (!name) return first == std::string::npos ? std::string() : value.substr(0, first);
    if (first == std::string::npos) return value;
    const std::size_t second = value.find('/', first + 1);
    return value.substr(first + 1,
                        second == std::string::npos ? std::string::npos : second - first - 1);
}

}  // namespace

// The node list file the user picks; empty when cancelled.
std::string PickNodeFile(FilePicker& picker, QWidget* parent) {
    const std::optional<QString> file =
        picker.PickFile(parent, "Text files (*.txt);;All files (*)");
    return file ? S(*file) : std::string();
}

NodeDialogServices NodeDialogServicesOf(CTarvellApp& app, Prompt& prompt, FilePicker& picker) {
    NodeDialogServices services;
    app.CopyDevices(services.devices);
    app.CopyPorts(services.ports);
    services.editSettings = [&app](const std::function<void(CTarvellDoc&)>& edit) {
        return EditSettings(app, edit);
    };
    services.prompt = &prompt;
    services.picker = &picker;
    return services;
}

void CBandedDialog::paintEvent(QPaintEvent*) {
    QPainter p(this);
    PaintBands(p, rect(), true);
}

// ---- Logon Properties ------------------------------------------------------------------------

CLogonPropertiesDlg::CLogonPropertiesDlg(std::string account,
                                         std::function<bool()> serviceUserAccount, Prompt& prompt,
                                         QWidget* parent)
    : CBandedDialog(parent),
      account_(std::move(account)),
      serviceUserAccount_(std::move(serviceUserAccount)),
      prompt_(prompt) {
    setWindowTitle("Logon Properties");
    auto* layout = new QVBoxLayout(this);
    serviceRadio_ = new QRadioButton("Use current Tarvell service logon account", this);
    specificRadio_ = new QRadioButton("Use specific logon account", this);
    layout->addWidget(serviceRadio_);
    layout->addWidget(specificRadio_);
    auto* grid = new QGridLayout;
    user_ = new QLineEdit(this);
    domain_ = new QLineEdit(this);
    password_ = new QLineEdit(this);
    verify_ = new QLineEdit(this);
    password_->setEchoMode(QLineEdit::Password);
    verify_->setEchoMode(QLineEdit::Password);
    const char* labels[] = {
        "Account Username:", "Account Domain:", "Account Password:", "Verify Password:"};
    QLineEdit* edits[] = {user_, domain_, password_, verify_};
    for (int i = 0; i < 4; ++i) {
        grid->addWidget(Buddy(new QLabel(labels[i], this), edits[i]), i, 0);
        grid->addWidget(edits[i], i, 1);
    }
    layout->addLayout(grid);
    layout->addWidget(OkCancel(this));
    // Each radio's value, whatever changed it (a click, a key, an assistive technology).
    connect(serviceRadio_, &QRadioButton::toggled, this, [this](bool on) {
        if (on) SetSpecific(false);
    });
    connect(specificRadio_, &QRadioButton::toggled, this, [this](bool on) {
        if (!on) return;
        SetSpecific(true);
        user_->setFocus();
    });
    if (account_.empty()) {
        serviceRadio_->setChecked(true);
        SetSpecific(false);
    } else {
        specificRadio_->setChecked(true);
        SetSpecific(true);
        const LogonParts parts = ParseLogon(account_);
        user_->setText(Q(parts.user));
        domain_->setText(Q(parts.domain));
        password_->setText(Q(parts.password));
        verify_->setText(Q(parts.password));
    }
}

void CLogonPropertiesDlg::SetSpecific(bool specific) {
    for (QLineEdit* edit : {user_, domain_, password_, verify_}) {
        edit->setEnabled(specific);
        if (!specific) edit->clear();
    }
}

void CLogonPropertiesDlg::accept() {
    LogonChoice choice{specificRadio_->isChecked(), S(user_->text()), S(domain_->text()),
                       S(password_->text()), S(verify_->text())};
    const LogonVerdict verdict =
        ConfirmLogon(choice, !choice.specific && serviceUserAccount_ && serviceUserAccount_());
    if (verdict.message) {
        Tell(&prompt_, verdict.message);
        return;
    }
    account_ = verdict.account;
    QDialog::accept();
}

// ---- Devices List ----------------------------------------------------------------------------

CDevicesListDlg::CDevicesListDlg(std::vector<std::string>& list, StringTable devices,
                                 Prompt& prompt, QWidget* parent)
    : CBandedDialog(parent), target_(list), devices_(std::move(devices)), prompt_(prompt) {
    setWindowTitle("Devices List");
    resize(460, 360);
    auto* layout = new QVBoxLayout(this);
    allRadio_ = new QRadioButton("All devices", this);
    specificRadio_ = new QRadioButton("Only specific devices", this);
    layout->addWidget(allRadio_);
    layout->addWidget(specificRadio_);
    list_ = Named(new CCheckListCtrl(this), QStringLiteral("Devices"));
    QPalette palette = list_->palette();
    palette.setColor(QPalette::Text, QColor(83, 83, 83));
    list_->setPalette(palette);
    list_->InsertColumn(0, "Device Name", 200);
    list_->InsertColumn(1, "Device Ip", 200);
    list_->InsertColumn(2, "Device Mac", 0);
    list_->setColumnHidden(2, true);
    list_->header()->setSectionsClickable(true);
    connect(list_->header(), &QHeaderView::sectionClicked, this, &CDevicesListDlg::SortBy);
    layout->addWidget(list_);
    auto* links = new QHBoxLayout;
    auto* checkAll = new LinkLabel("Check all", 0, this);
    auto* uncheckAll = new LinkLabel("Uncheck all", 0, this);
    for (LinkLabel* link : {checkAll, uncheckAll}) {
        link->SetColor(QColor(0, 70, 213));
        link->SetUnderlined(true);
        link->SetActive(true);
        links->addWidget(link);
    }
    links->addStretch();
    connect(checkAll, &LinkLabel::activated, this, [this] { CheckAll(true); });
    connect(uncheckAll, &LinkLabel::activated, this, [this] { CheckAll(false); });
    layout->addLayout(links);
    layout->addWidget(OkCancel(this));
    connect(allRadio_, &QRadioButton::toggled, this, [this](bool on) {
        if (!on) return;
        rows_.clear();
        list_->DeleteAllItems();
    });
    connect(specificRadio_, &QRadioButton::toggled, this, [this](bool on) {
        if (!on) return;
        rows_ = BuildDeviceRows(devices_, target_);
        Fill();
    });
    (target_.empty() ? allRadio_ : specificRadio_)->setChecked(true);
}

void CDevicesListDlg::Fill() {
    list_->DeleteAllItems();
    for (const DeviceRow& row : rows_) {
        const int at = list_->InsertItem(list_->ItemCount(), Q(row.name));
        list_->SetItemText(at, 1, Q(row.ip));
        list_->SetItemText(at, 2, Q(row.key));
        list_->SetCheck(at, row.checked);
    }
}

void CDevicesListDlg::TakeChecks() {
    for (int i = 0; i < list_->ItemCount() && i < static_cast<int>(rows_.size()); ++i)
        rows_[static_cast<std::size_t>(i)].checked = list_->GetCheck(i);
}

void CDevicesListDlg::CheckAll(bool checked) {
    for (int i = 0; i < list_->ItemCount(); ++i) list_->SetCheck(i, checked);
}

void CDevicesListDlg::SortBy(int column) {
    TakeChecks();
    sortColumn_ = column;
    ascending_ = !ascending_;
    const auto col = static_cast<DeviceColumn>(std::clamp(column, 0, 2));
    std::stable_sort(rows_.begin(), rows_.end(), [&](const DeviceRow& a, const DeviceRow& b) {
        return DeviceRowBefore(a, b, col, ascending_);
    });
    Fill();
    list_->header()->setSortIndicatorShown(true);
    list_->header()->setSortIndicator(column,
                                      ascending_ ? Qt::AscendingOrder : Qt::DescendingOrder);
}

void CDevicesListDlg::accept() {
    TakeChecks();
    DeviceVerdict verdict = ConfirmDevices(allRadio_->isChecked(), rows_);
    if (verdict.message) {
        Tell(&prompt_, verdict.message);
        return;
    }
    target_ = std::move(verdict.keys);
    QDialog::accept();
}

// ---- Node Properties -------------------------------------------------------------------------

CNodePropertiesDlg::CNodePropertiesDlg(NodeListEdit& edit, const std::string& node,
                                       const std::string& port, const NodeDialogServices& services,
                                       QWidget* parent)
    : CBandedDialog(parent), edit_(edit), services_(services), port_(port) {
    setWindowTitle("Node Properties");
    resize(380, 420);
    for (const auto& [key, value] : services_.devices) deviceKeys_.push_back(key);
    auto* layout = new QVBoxLayout(this);
    auto* address = new QGroupBox("Node address", this);
    auto* grid = new QGridLayout(address);
    macRadio_ = new QRadioButton("Node Mac:", address);
    ipRadio_ = new QRadioButton("Node IP:", address);
    mac_ = Named(new QLineEdit(address), QStringLiteral("Node Mac"));
    mac_->setMaxLength(12);
    ip_ = Named(new CIpAddressCtrl(address), QStringLiteral("Node IP"));
    grid->addWidget(macRadio_, 0, 0);
    grid->addWidget(mac_, 0, 1);
    grid->addWidget(ipRadio_, 1, 0);
    grid->addWidget(ip_, 1, 1);
    layout->addWidget(address);
    auto* optional = new QGroupBox("Optional port", this);
    auto* portGrid = new QGridLayout(optional);
    byNameRadio_ = new QRadioButton("Select device by name:", optional);
    byAddressRadio_ = new QRadioButton("Select device by address:", optional);
    byName_ = Named(new QComboBox(optional), QStringLiteral("Device name"));
    byAddress_ = Named(new QComboBox(optional), QStringLiteral("Device address"));
    ports_ = Named(new CCheckListCtrl(optional), QStringLiteral("Ports"));
    ports_->InsertColumn(0, QString(), 320);
    ports_->SetHeaderVisible(false);
    portGrid->addWidget(byNameRadio_, 0, 0);
    portGrid->addWidget(byName_, 0, 1);
    portGrid->addWidget(byAddressRadio_, 1, 0);
    portGrid->addWidget(byAddress_, 1, 1);
    portGrid->addWidget(ports_, 2, 0, 1, 2);
    layout->addWidget(optional);
    layout->addWidget(OkCancel(this));

    auto nodeRadio = [this](bool mac) {
        mac_->setEnabled(mac);
        ip_->setEnabled(!mac);
        if (mac) {
            ip_->ClearAddress();
            mac_->setFocus();
        } else {
            mac_->clear();
            ip_->Field(0)->setFocus();
        }
    };
    // Each control's value, whatever changed it (a click, a key, an assistive technology).
    connect(macRadio_, &QRadioButton::toggled, this, [nodeRadio](bool on) {
        if (on) nodeRadio(true);
    });
    connect(ipRadio_, &QRadioButton::toggled, this, [nodeRadio](bool on) {
        if (on) nodeRadio(false);
    });
    connect(byNameRadio_, &QRadioButton::toggled, this, [this](bool on) {
        if (on) FillDevices(true);
    });
    connect(byAddressRadio_, &QRadioButton::toggled, this, [this](bool on) {
        if (on) FillDevices(false);
    });
    for (QComboBox* combo : {byName_, byAddress_})
        connect(combo, &QComboBox::currentIndexChanged, this, [this, combo](int index) {
            if (index < 0) return;
            const int at = combo->itemData(index).toInt();
            if (at >= 0 && at < static_cast<int>(deviceKeys_.size())) {
                deviceKey_ = deviceKeys_[static_cast<std::size_t>(at)];
                FillPorts();
            }
        });
    // At most one port: checking a row clears the others.
    connect(ports_, &CCheckListCtrl::itemToggled, this, [this](int row, bool checked) {
        if (!checked) return;
        for (int i = 0; i < ports_->ItemCount(); ++i)
            if (i != row) ports_->SetCheck(i, false);
    });

    macRadio_->setChecked(true);
    byNameRadio_->setChecked(true);
    ip_->setEnabled(false);
    if (!node.empty()) {
        const bool isIp = node.find('.') != std::string::npos;
        (isIp ? ipRadio_ : macRadio_)->setChecked(true);
        if (isIp) ip_->SetText(Q(node));
        else mac_->setText(Q(node));
        for (QWidget* w : {static_cast<QWidget*>(macRadio_), static_cast<QWidget*>(ipRadio_),
                           static_cast<QWidget*>(mac_), static_cast<QWidget*>(ip_)})
            w->setEnabled(false);
    }
    FillDevices(true);
    if (!port_.empty())
        for (const std::string& key : deviceKeys_)
            if (port_.compare(0, key.size() + 1, key + "/") == 0) {
                ChooseDevice(key);
                break;
            }
}

void CNodePropertiesDlg::FillDevices(bool byName) {
    QComboBox* shown = byName ? byName_ : byAddress_;
    QComboBox* other = byName ? byAddress_ : byName_;
    // Filled, not chosen: no device until the user picks one.
    const QSignalBlocker quietShown(shown), quietOther(other);
    other->clear();
    other->setEnabled(false);
    shown->setEnabled(true);
    shown->clear();
    for (std::size_t i = 0; i < deviceKeys_.size(); ++i)
        shown->addItem(Q(DevicePart(services_.devices.at(deviceKeys_[i]), byName)),
                       static_cast<int>(i));
    shown->model()->sort(0);
    shown->setCurrentIndex(-1);
    deviceKey_.clear();
    ports_->DeleteAllItems();
    portIndexes_.clear();
}

void CNodePropertiesDlg::ChooseDevice(const std::string& key) {
    const auto at = std::find(deviceKeys_.begin(), deviceKeys_.end(), key);
    if (at == deviceKeys_.end()) return;
    QComboBox* combo = byNameRadio_->isChecked() ? byName_ : byAddress_;
    combo->setCurrentIndex(combo->findData(static_cast<int>(at - deviceKeys_.begin())));
    deviceKey_ = key;
    FillPorts();
}

void CNodePropertiesDlg::FillPorts() {
    ports_->DeleteAllItems();
    portIndexes_.clear();
    const std::string prefix = deviceKey_ + "/";
    for (auto it = services_.ports.lower_bound(prefix); it != services_.ports.end(); ++it) {
        if (it->first.compare(0, prefix.size(), prefix) != 0) break;
        const std::string index = it->first.substr(prefix.size());
        char* end = nullptr;
        errno = 0;
        const long number = std::strtol(index.c_str(), &end, 10);
        if (index.empty() || *end != '\0' || errno) continue;
        const int row = ports_->InsertItem(ports_->ItemCount(), Q(it->second));
        portIndexes_.push_back(number);
        ports_->SetCheck(row, it->first == port_);
    }
}

void CNodePropertiesDlg::accept() {
    const std::string node = S(ipRadio_->isChecked() ? ip_->Text() : mac_->text().trimmed());
    if (!ValidNode(node)) {
        Tell(services_.prompt, str::kSettingsInvalid);
        return;
    }
    std::string port;
    for (int i = 0; i < ports_->ItemCount(); ++i)
        if (ports_->GetCheck(i))
            port = PortKey(deviceKey_, portIndexes_[static_cast<std::size_t>(i)]);
    edit_.Put(node, port);
    QDialog::accept();
}

// ---- Node lists ------------------------------------------------------------------------------

CNodeListDlgBase::CNodeListDlgBase(NodeMode mode, const std::vector<std::string>& entries,
                                   const std::string& file, NodeDialogServices services,
                                   QWidget* parent)
    : CBandedDialog(parent),
      services_(std::move(services)),
      nodes_(mode, entries),
      openedFile_(file) {}

QWidget* CNodeListDlgBase::BuildListPart(const QString& intro, const QString& group,
                                         const QString& fileText) {
    auto* part = new QWidget(this);
    auto* layout = new QVBoxLayout(part);
    layout->setContentsMargins(0, 0, 0, 0);
    auto* label = new QLabel(intro, part);
    label->setWordWrap(true);
    layout->addWidget(label);
    group_ = new QGroupBox(group, part);
    auto* groupLayout = new QGridLayout(group_);
    list_ = Named(new QTreeWidget(group_), group);
    list_->setColumnCount(2);
    list_->setHeaderLabels({"Node", "Port"});
    list_->setRootIsDecorated(false);
    list_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    list_->setSelectionBehavior(QAbstractItemView::SelectRows);
    list_->setColumnWidth(0, 180);
    groupLayout->addWidget(list_, 0, 0, 5, 1);
    add_ = new QPushButton("Add Node...", group_);
    import_ = new QPushButton("Import Nodes...", group_);
    edit_ = new QPushButton("Edit Node...", group_);
    remove_ = new QPushButton("Remove Nodes", group_);
    QPushButton* buttons[] = {add_, import_, edit_, remove_};
    for (int i = 0; i < 4; ++i) groupLayout->addWidget(buttons[i], i, 1);
    edit_->setEnabled(false);
    remove_->setEnabled(false);
    layout->addWidget(group_);
    fileBox_ = new QCheckBox(fileText, part);
    file_ = Named(new QLineEdit(part), NameFromLabel(fileText));
    browse_ = new QPushButton("Browse File...", part);
    auto* fileRow = new QHBoxLayout;
    fileRow->addWidget(file_);
    fileRow->addWidget(browse_);
    layout->addWidget(fileBox_);
    layout->addLayout(fileRow);

    connect(add_, &QPushButton::clicked, this, &CNodeListDlgBase::AddNode);
    connect(edit_, &QPushButton::clicked, this, &CNodeListDlgBase::EditNode);
    connect(remove_, &QPushButton::clicked, this, &CNodeListDlgBase::RemoveNodes);
    connect(import_, &QPushButton::clicked, this, &CNodeListDlgBase::ImportNodes);
    connect(browse_, &QPushButton::clicked, this, &CNodeListDlgBase::BrowseFile);
    connect(list_, &QTreeWidget::itemSelectionChanged, this, [this] {
        const bool any = !list_->selectedItems().isEmpty();
        edit_->setEnabled(any);
        remove_->setEnabled(any);
    });
    connect(list_, &QTreeWidget::itemDoubleClicked, this, [this] { EditNode(); });
    connect(fileBox_, &QCheckBox::toggled, this, [this](bool on) {
        file_->setEnabled(on);
        browse_->setEnabled(on);
        if (!on) file_->clear();
    });
    const bool hasFile = !openedFile_.empty();
    file_->setText(Q(openedFile_));
    fileBox_->setChecked(hasFile);
    file_->setEnabled(hasFile);
    browse_->setEnabled(hasFile);
    Fill();
    return part;
}

void CNodeListDlgBase::Fill() {
    list_->setUpdatesEnabled(false);
    list_->clear();
    QList<QTreeWidgetItem*> items;
    items.reserve(static_cast<qsizetype>(nodes_.Nodes().size()));
    for (const auto& [node, port] : nodes_.Nodes())
        items.append(new QTreeWidgetItem(
            QStringList{Q(node), port.empty() ? QString() : QString("Enabled")}));
    list_->addTopLevelItems(items);
    list_->setUpdatesEnabled(true);
    group_->setTitle(Q(GroupCaption(S(group_->title()), items.size())));
    edit_->setEnabled(false);
    remove_->setEnabled(false);
}

void CNodeListDlgBase::AddNode() {
    CNodePropertiesDlg dialog(nodes_, {}, {}, services_, this);
    if (dialog.exec() == QDialog::Accepted) Fill();
}

void CNodeListDlgBase::EditNode() {
    QTreeWidgetItem* item = list_->currentItem();
    if (!item) return;
    const std::string node = S(item->text(0));
    const std::string* port = nodes_.PortOf(node);
    if (!port) return;
    CNodePropertiesDlg dialog(nodes_, node, *port, services_, this);
    if (dialog.exec() == QDialog::Accepted) Fill();
}

void CNodeListDlgBase::RemoveNodes() {
    for (QTreeWidgetItem* item : list_->selectedItems()) nodes_.Remove(S(item->text(0)));
    Fill();
}

void CNodeListDlgBase::ImportNodes() {
    if (!services_.picker) return;
    const std::string path = PickNodeFile(*services_.picker, this);
    if (path.empty()) return;
    std::optional<std::vector<NodeListLine>> lines;
    int error = 0;
    {
        WaitCursor wait;
        lines = ReadNodeImportFile(path, services_.devices, services_.ports);
        error = errno;
        if (lines) nodes_.Import(*lines);
        Fill();
    }
    if (!lines && services_.prompt)
        services_.prompt->Ask(
            {"Tarvell could not read the file " + path + " (" +
                 (error == EFBIG ? std::string("larger than 16 MiB") : std::strerror(error)) + ").",
             "", PromptButtons::Ok, PromptIcon::Warning});
}

void CNodeListDlgBase::BrowseFile() {
    if (!services_.picker) return;
    const std::string path = PickNodeFile(*services_.picker, this);
    if (!path.empty()) file_->setText(Q(path));
}

bool CNodeListDlgBase::Save(const std::function<void(CTarvellDoc&)>& apply) {
    const EditResult result =
        services_.editSettings ? services_.editSettings(apply) : EditResult::ReloadFailed;
    if (result == EditResult::Saved) return true;
    Tell(services_.prompt, EditResultMessage(result));
    return false;
}

CUnauthorizedListDlg::CUnauthorizedListDlg(const QString& caption, const CTarvellDoc& opened,
                                           std::vector<std::string> CTarvellDoc::*list,
                                           std::string CTarvellDoc::*file,
                                           NodeDialogServices services, QWidget* parent)
    : CNodeListDlgBase(NodeMode::List, opened.*list, opened.*file, std::move(services), parent),
      listField_(list),
      fileField_(file) {
    setWindowTitle(caption);
    resize(480, 420);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(
        BuildListPart("Add hexadecimal MAC or dotted IP address with optional port or import list "
                      "from external file.",
                      "Current nodes", "Enable nodes updating from external file:"));
    layout->addWidget(OkCancel(this));
}

void CUnauthorizedListDlg::accept() {
    const std::string path = S(file_->text());
    if (!Save([&](CTarvellDoc& doc) {
            doc.*listField_ = nodes_.Apply(doc.*listField_);
            doc.*fileField_ = path;
        }))
        return;
    QDialog::accept();
}

CNodesCountDlg::CNodesCountDlg(int& threshold, const CTarvellDoc& opened,
                               NodeDialogServices services, QWidget* parent)
    : CNodeListDlgBase(NodeMode::Count, opened.NodeLocations, opened.NodeLocationImportFile,
                       std::move(services), parent),
      thresholdOut_(threshold) {
    setWindowTitle("Manage Nodes Count...");
    resize(500, 520);
    auto* layout = new QVBoxLayout(this);
    auto* intro = new QLabel(
        "Set the maximum Nodes/Port threshold or add specific nodes properties to the excluded "
        "list below.",
        this);
    intro->setWordWrap(true);
    layout->addWidget(intro);
    auto* row = new QHBoxLayout;
    auto* thresholdLabel = new QLabel("Use maximum Nodes/Port threshold of:", this);
    row->addWidget(thresholdLabel);
    threshold_ = Labelled(thresholdLabel, new QSpinBox(this));
    threshold_->setRange(1, static_cast<int>(RangeOf("NodesCountThreshold").max));
    threshold_->setValue(threshold);
    row->addWidget(threshold_);
    row->addStretch();
    layout->addLayout(row);
    layout->addWidget(
        BuildListPart({}, "Excluded Nodes", "Enable nodes exclude from external file:"));
    automatic_ = new QCheckBox("Exclude nodes automatically after delete or unblock events.", this);
    allPorts_ = new QRadioButton("Automatically exclude nodes on all ports.", this);
    specificPort_ = new QRadioButton("Automatically exclude nodes on specific port.", this);
    radios_ = new QButtonGroup(this);
    radios_->addButton(allPorts_);
    radios_->addButton(specificPort_);
    layout->addWidget(automatic_);
    layout->addWidget(allPorts_);
    layout->addWidget(specificPort_);
    layout->addWidget(OkCancel(this));
    connect(automatic_, &QCheckBox::toggled, this, &CNodesCountDlg::SetAutomatic);
    const bool on = opened.UnblockAuthorizeNode != 0 || opened.UnblockAuthorizeLocation != 0;
    automatic_->setChecked(on);
    SetAutomatic(on);
    if (on) (opened.UnblockAuthorizeNode ? allPorts_ : specificPort_)->setChecked(true);
}

void CNodesCountDlg::SetAutomatic(bool on) {
    allPorts_->setEnabled(on);
    specificPort_->setEnabled(on);
    radios_->setExclusive(false);
    allPorts_->setChecked(on);
    specificPort_->setChecked(false);
    radios_->setExclusive(true);
}

void CNodesCountDlg::accept() {
    const int threshold = threshold_->value();
    const std::string path = S(file_->text());
    const bool all = automatic_->isChecked() && allPorts_->isChecked();
    const bool specific = automatic_->isChecked() && specificPort_->isChecked();
    // The threshold is the page's: its OK stores it, so a cancelled sheet leaves the rule as it
    // was. The excluded nodes are the dialog's own and are stored here.
    if (!Save([&](CTarvellDoc& doc) {
            doc.NodeLocationImportFile = path;
            doc.NodeLocations = nodes_.Apply(doc.NodeLocations);
            doc.UnblockAuthorizeNode = all ? 1 : 0;
            doc.UnblockAuthorizeLocation = specific ? 1 : 0;
        }))
        return;
    thresholdOut_ = threshold;
    QDialog::accept();
}

}  // namespace tarvell
