#include "viewer/core/settings/LocalSettings.h"

#include <algorithm>
#include <cctype>

#include "viewer/core/hub/CTarvellApp.h"
#include "viewer/core/settings/Autostart.h"
#include "viewer/core/base/StringTable.h"

namespace tarvell {

namespace {
bool SameNameIgnoringCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [](unsigned char x, unsigned char y) {
               return std::tolower(x) == std::tolower(y);
           });
}
}  // namespace

void ServerList::Load(const ServerMap& servers) {
    rows_.clear();
    for (const auto& [name, item] : servers)
        rows_.push_back({name, item.Folder, item.IsDefault != 0});
}

bool ServerList::NameTaken(std::string_view name, std::size_t except) const {
    for (std::size_t i = 0; i < rows_.size(); ++i)
        if (i != except && SameNameIgnoringCase(rows_[i].name, name)) return true;
    return false;
}

std::size_t ServerList::Add(std::string folder) {
    std::string name(kNewServerName);
    for (int n = 2; NameTaken(name, rows_.size()); ++n)
        name = std::string(kNewServerName) + " " + std::to_string(n);
    rows_.push_back({std::move(name), std::move(folder), rows_.empty()});
    return rows_.size() - 1;
}

bool ServerList::Delete(std::size_t row) {
    if (row >= rows_.size()) return false;
    const bool wasDefault = rows_[row].isDefault;
    rows_.erase(rows_.begin() + static_cast<std::ptrdiff_t>(row));
    if (wasDefault && !rows_.empty()) rows_.front().isDefault = true;
    return true;
}

ServerList::Rename ServerList::SetName(std::size_t row, std::string_view name) {
    if (row >= rows_.size() || name.empty()) return Rename::Kept;
    if (NameTaken(name, row)) return Rename::Taken;
    rows_[row].name = std::string(name);
    return Rename::Renamed;
}

bool ServerList::SetDefault(std::size_t row) {
    if (row >= rows_.size()) return false;
    for (std::size_t i = 0; i < rows_.size(); ++i) rows_[i].isDefault = i == row;
    return true;
}

ServerMap ServerList::ToServerMap() const {
    ServerMap map;
    for (const ServerRow& row : rows_)
        map[row.name] = CServerItem{row.isDefault ? 1 : 0, row.folder};
    return map;
}

std::optional<ConnectTarget> ConnectTargetOf(const ServerList& list,
                                             std::optional<std::size_t> selected) {
    if (!selected || *selected >= list.Rows().size()) return std::nullopt;
    const ServerRow& row = list.Rows()[*selected];
    return ConnectTarget{row.name, row.folder};
}

unsigned SaveLocalSettings(CTarvellApp& app, const ServerList& servers, const LocalValues& values) {
    if (servers.Empty()) return str::kNeedOneServer;
    const bool autostartOk = values.startWithDesktop
                                 ? EnableAutostart(values.autostartPath, values.program)
                                 : DisableAutostart(values.autostartPath);
    app.SetPopupPreferences(values.popupAlerts ? 1 : 0, app.PopupTimeout(), app.PopupSound());
    app.SetServers(servers.ToServerMap());
    if (!app.SaveSettings()) return 0;
    return autostartOk ? str::kSettingsSaved : str::kAutostartFailed;
}

PopupOptions PopupOptionsOf(std::uint32_t timeout, std::string_view sound) {
    PopupOptions options;
    if (timeout > 0) {
        options.timeoutOn = true;
        options.position = static_cast<int>(
            std::clamp<std::uint32_t>(timeout / 10, kPopupSliderMin, kPopupSliderMax));
    }
    if (!sound.empty()) {
        options.soundOn = true;
        options.sound = std::string(sound);
    }
    return options;
}

std::string PopupSliderLabel(bool timeoutOn, int position) {
    return timeoutOn ? std::to_string(position * 10) : std::string("0");
}

std::uint32_t PopupTimeoutOf(const PopupOptions& options) {
    if (!options.timeoutOn) return 0;
    return static_cast<std::uint32_t>(
        std::clamp(options.position, kPopupSliderMin, kPopupSliderMax) * 10);
}

PopupStore PopupValuesOf(const PopupOptions& options) {
    PopupStore out;
    out.values.timeout = PopupTimeoutOf(options);
    if (options.soundOn) out.values.sound = options.sound;
    if (out.values.sound.size() > kMaxPopupSound) {
        out.message = str::kPopupSoundTooLong;
        out.values = {};
    }
    return out;
}

}  // namespace tarvell
