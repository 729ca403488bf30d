#include "viewer/settings/CLocalSettingsPanel.h"

#include <array>

#include <QCoreApplication>
#include <QHeaderView>
#include <QMenu>
#include <QPainter>
#include <QPixmap>

#include "viewer/core/hub/CTarvellApp.h"
#include "viewer/core/look/Look.h"
#include "viewer/core/settings/Autostart.h"
#include "viewer/core/shell/CommandRouter.h"
#include "viewer/core/shell/MenuTable.h"
#include "viewer/core/base/Prompt.h"
#include "viewer/core/base/StringTable.h"
#include "viewer/settings/CSettingsLocalPopup.h"
#include "viewer/widgets/Accessibility.h"
#include "viewer/widgets/CSortListCtrl.h"
#include "viewer/widgets/CommandActions.h"
#include "viewer/widgets/Fonts.h"
#include "viewer/widgets/LinkLabel.h"
#include "viewer/widgets/Pickers.h"
#include "viewer/widgets/TextConv.h"

namespace tarvell {

namespace {
// Image 0 marks the default server, image 1 every other one (drawn once).
std::array<QPixmap, 2> MakeServerImages() {
    std::array<QPixmap, 2> out;
    for (int i = 0; i < 2; ++i) {
        QPixmap pm(16, 16);
        pm.fill(Qt::transparent);
        QPainter p(&pm);
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(QColor(90, 60, 130));
        p.setBrush(i == 0 ? QColor(102, 51, 153) : QColor(220, 210, 235));
        p.drawRoundedRect(QRectF(2.5, 1.5, 11, 13), 2, 2);
        p.setPen(i == 0 ? QColor(Qt::white) : QColor(102, 51, 153));
        p.drawLine(5, 5, 11, 5);
        p.drawLine(5, 8, 11, 8);
        if (i == 0) {
            p.setBrush(QColor(60, 170, 60));
            p.setPen(Qt::white);
            p.drawEllipse(QRectF(8.5, 9.5, 6, 6));
        }
        p.end();
        out[static_cast<std::size_t>(i)] = pm;
    }
    return out;
}
const QPixmap& ServerImage(bool isDefault) {
    static const std::array<QPixmap, 2> images = MakeServerImages();
    return images[isDefault ? 0 : 1];
}
}  // namespace

ServerRowsModel::ServerRowsModel(ServerList& list, std::function<void(ServerList::Rename)> renamed,
                                 QObject* parent)
    : QAbstractTableModel(parent), list_(list), renamed_(std::move(renamed)) {}

int ServerRowsModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(list_.Rows().size());
}
int ServerRowsModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : 2;
}

QVariant ServerRowsModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rowCount()) return {};
    const ServerRow& row = list_.Rows()[static_cast<std::size_t>(index.row())];
    if (role == Qt::DisplayRole || role == Qt::EditRole)
        return QString::fromStdString(index.column() == 0 ? row.name : row.folder);
    if (role == Qt::DecorationRole && index.column() == 0) return ServerImage(row.isDefault);
    if (role == Qt::ForegroundRole) return ToQColor(look::kText);
    return {};
}

QVariant ServerRowsModel::headerData(int section, Qt::Orientation o, int role) const {
    if (o != Qt::Horizontal || role != Qt::DisplayRole) return {};
    return section == 0 ? QStringLiteral("Name") : QStringLiteral("Location");
}

Qt::ItemFlags ServerRowsModel::flags(const QModelIndex& index) const {
    Qt::ItemFlags f = QAbstractTableModel::flags(index);
    if (index.isValid() && index.column() == 0) f |= Qt::ItemIsEditable;
    return f;
}

bool ServerRowsModel::setData(const QModelIndex& index, const QVariant& value, int role) {
    if (role != Qt::EditRole || !index.isValid() || index.column() != 0) return false;
    const auto result =
        list_.SetName(static_cast<std::size_t>(index.row()), value.toString().toStdString());
    if (result == ServerList::Rename::Renamed) emit dataChanged(index, index);
    if (renamed_) renamed_(result);
    return result == ServerList::Rename::Renamed;
}

CLocalSettingsPanel::CLocalSettingsPanel(const PageContext& context, FolderPicker& folders,
                                         FilePicker& files, QWidget* parent)
    : CListSettingsPanel(QStringLiteral("Local Settings"), cmd::kSettingsLocal, parent),
      context_(context),
      folders_(folders),
      files_(files) {
    AddText(QStringLiteral("Viewer Options"), QRect(20, 45, 300, 18), true);
    AddText(QStringLiteral("Use the check boxes to select the preferred Tarvell viewing options "
                           "that best suites your needs."),
            QRect(20, 66, 560, 32));
    // Two lines of room: the box's text wraps in a narrow window.
    run_ = AddCheck(QStringLiteral("Enable Tarvell Viewer start automatically each time you reboot "
                                   "your computer (recommended)."),
                    QRect(20, 100, 600, 34));
    popup_ = AddCheck(QString(), QRect(20, 138, 20, 20));
    popupLink_ = AddLinkedTo(popup_, QStringLiteral("Enable Tarvell popup viewing options..."),
                             QRect(40, 139, 300, 18));
    connect(popupLink_, &LinkLabel::activated, this,
            [this] { RunPopupOptions(context_.app, context_.prompt, files_, this); });
    AddText(QStringLiteral("Servers Options"), QRect(20, 172, 300, 18), true);
    AddText(QStringLiteral("Use the list below to add or modify Tarvell servers for viewing remote "
                           "sites (right click for options)."),
            QRect(20, 192, 600, 32));

    AddList(QStringLiteral("Servers"), 228);
    model_ = new ServerRowsModel(
        list_,
        [this](ServerList::Rename r) {
            if (r == ServerList::Rename::Renamed) emit changed();
            if (r == ServerList::Rename::Taken)
                context_.prompt.AskString(str::kServerNameTaken, PromptButtons::Ok,
                                          PromptIcon::Information);
        },
        this);
    List()->setModel(model_);
    List()->header()->resizeSection(0, 150);
    List()->header()->resizeSection(1, 375);

    menu_ = BuildMenu(LoadMenu(res::kServersMenu)->front().popup, this);
    if (QAction* connectItem = FindCommandAction(menu_, cmd::kConnectServer))
        menu_->setDefaultAction(connectItem);
    connect(menu_, &QMenu::triggered, this, [this](QAction* a) { RunCommand(ActionCommand(a)); });
    SetRowActions(menu_, [this] { Connect(); });
    SetAddButton(QStringLiteral("Add Server..."), [this] { AddServer(); });
}

void CLocalSettingsPanel::LoadPanel() {
    const std::string program = QCoreApplication::applicationFilePath().toStdString();
    run_->setChecked(IsAutostartEnabledFor(AutostartPath(), program));
    popup_->setChecked(context_.app.PopupAlerts() != 0);
    ServerMap servers;
    context_.app.CopyServers(servers);
    list_.Load(servers);
    Refill();
}

LocalValues CLocalSettingsPanel::Values() const {
    return {run_->isChecked(), popup_->isChecked(), AutostartPath(),
            QCoreApplication::applicationFilePath().toStdString()};
}

void CLocalSettingsPanel::Refill(std::optional<std::size_t> select) {
    model_->Reset();
    if (select) List()->SelectRow(static_cast<int>(*select));
}

std::optional<std::size_t> CLocalSettingsPanel::Selected() const {
    const int row = List()->SelectedRow();
    if (row < 0) return std::nullopt;
    return static_cast<std::size_t>(row);
}

void CLocalSettingsPanel::RunCommand(CommandId command) {
    const auto row = Selected();
    if (command == cmd::kConnectServer) return Connect();
    if (!row) return;
    if (command == cmd::kServerDelete) {
        list_.Delete(*row);
        Refill();
        emit changed();
    } else if (command == cmd::kServerRename) {
        emit changed();
        List()->edit(model_->index(static_cast<int>(*row), 0));
    } else if (command == cmd::kServerDefault) {
        list_.SetDefault(*row);
        Refill(row);
        emit changed();
    }
}

void CLocalSettingsPanel::AddServer() {
    const auto folder = folders_.PickFolder(
        this, QStringLiteral("Select the shared installation folder of the server:"));
    if (!folder) return;
    const std::size_t row = list_.Add(folder->toStdString());
    Refill(row);
    emit changed();
}

void CLocalSettingsPanel::Connect() {
    const auto target = ConnectTargetOf(list_, Selected());
    if (!target) return;
    if (context_.connectServer) context_.connectServer(target->name, target->folder);
}

}  // namespace tarvell
