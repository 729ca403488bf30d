// The Local category: start with the desktop, alert popups (with the link to the popup options)
// and the servers the viewer knows, edited as a working copy that Save stores. The list's menu
// connects, deletes, renames in place and sets the default server; "Add Server..." appends a
// server's folder. Connect acts at once, without Save. GUI thread only.
#pragma once

#include <QAbstractTableModel>
#include <functional>
#include <optional>
#include <string>

#include "viewer/core/settings/LocalSettings.h"
#include "viewer/settings/CListSettingsPanel.h"
#include "viewer/widgets/ShellPage.h"

class QMenu;

namespace tarvell {

class CSortListCtrl;
class FilePicker;
class FolderPicker;
class LinkLabel;

// The servers list's rows over a ServerList; a name edited in place is renamed through it.
class ServerRowsModel : public QAbstractTableModel {
    Q_OBJECT
public:
    ServerRowsModel(ServerList& list, std::function<void(ServerList::Rename)> renamed,
                    QObject* parent);
    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation o, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role) override;
    void Reset() {
        beginResetModel();
        endResetModel();
    }

private:
    ServerList& list_;
    std::function<void(ServerList::Rename)> renamed_;
};

class CLocalSettingsPanel : public CListSettingsPanel {
    Q_OBJECT
public:
    CLocalSettingsPanel(const PageContext& context, FolderPicker& folders, FilePicker& files,
                        QWidget* parent);

    void LoadPanel() override;
    LocalValues Values() const;
    const ServerList& Servers() const { return list_; }

    QCheckBox* RunBox() const { return run_; }
    QCheckBox* PopupBox() const { return popup_; }
    LinkLabel* PopupLink() const { return popupLink_; }
    QMenu* ServersMenu() const { return menu_; }
    // The list's menu commands on the selected row, as the menu runs them.
    void RunCommand(CommandId command);
    void AddServer();
    // The row selected, if any.
    std::optional<std::size_t> Selected() const;

private:
    void Connect();
    void Refill(std::optional<std::size_t> select = std::nullopt);

    PageContext context_;
    FolderPicker& folders_;
    FilePicker& files_;
    ServerList list_;
    QCheckBox* run_;
    QCheckBox* popup_;
    LinkLabel* popupLink_;
    ServerRowsModel* model_;
    QMenu* menu_;
};

}  // namespace tarvell
