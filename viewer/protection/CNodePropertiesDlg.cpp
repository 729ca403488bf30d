#include "viewer/protection/CNodePropertiesDlg.h"

#include <QDialogButtonBox>
#include <QComboBox>
#include <QDialog>
#include <QGridLayout>
#include <QGroupBox>
#include <QLineEdit>
#include <QRadioButton>
#include <QVBoxLayout>
#include <algorithm>
#include <cerrno>
#include <cstring>

#include "viewer/core/base/StringTable.h"
#include "viewer/widgets/Accessibility.h"
#include "viewer/widgets/CCheckListCtrl.h"
#include "viewer/widgets/CIpAddressCtrl.h"

namespace tarvell {

namespace {

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
    layout->addWidget(OkCancel());

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

}  // namespace tarvell
