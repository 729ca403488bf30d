// The Local category without its widgets: the panel's working copy of the servers, what Connect
// takes from a row, and the popup options page's values.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "viewer/core/hub/ServerRegistry.h"

namespace tarvell {

class CTarvellApp;

inline constexpr std::string_view kNewServerName = "New Server";

struct ServerRow {
    std::string name;
    std::string folder;
    bool isDefault = false;
};

// The rows of the servers list. Names are unique ignoring case, so turning the rows into the
// servers map never drops one.
class ServerList {
public:
    enum class Rename { Renamed, Kept, Taken };

    // Rows in the map's order, a default flag other than 0 marking the default.
    void Load(const ServerMap& servers);
    const std::vector<ServerRow>& Rows() const { return rows_; }
    bool Empty() const { return rows_.empty(); }

    // Appends "New Server" ("New Server 2", ... when taken) for `folder`; the first row becomes
    // the default. Returns its index.
    std::size_t Add(std::string folder);
    // Removes a row; when it was the default and rows remain, the first becomes the default.
    // False for an index past the rows.
    bool Delete(std::size_t row);
    // Kept: an empty name or a bad index; Taken: another row has the name ignoring case.
    Rename SetName(std::size_t row, std::string_view name);
    // Only `row` is the default afterwards; false (nothing changed) for a bad index.
    bool SetDefault(std::size_t row);
    ServerMap ToServerMap() const;

private:
    bool NameTaken(std::string_view name, std::size_t except) const;
    std::vector<ServerRow> rows_;
};

// What Connect takes from the selected row: its name and folder (the machine follows from the
// folder, ServerMachineOf). nullopt without a selection.
struct ConnectTarget {
    std::string name;
    std::string folder;
};
std::optional<ConnectTarget> ConnectTargetOf(const ServerList& list,
                                             std::optional<std::size_t> selected);

// Save of the Local panel. An empty list is refused (20051, nothing written). Otherwise the
// autostart entry is written or removed, popups switched, the servers replaced and the viewer's
// registry key rewritten: 20052 when all of that worked, 20056 when the autostart entry could not
// be changed, 0 (no message) when the registry write failed.
struct LocalValues {
    bool startWithDesktop = false;
    bool popupAlerts = false;
    std::string autostartPath;  // AutostartPath() in the program
    std::string program;        // the viewer's own path
};
unsigned SaveLocalSettings(CTarvellApp& app, const ServerList& servers, const LocalValues& values);

// The popup options page. The slider runs 1..10; position p stands for p x 10 seconds.
inline constexpr int kPopupSliderMin = 1;
inline constexpr int kPopupSliderMax = 10;

struct PopupOptions {
    bool timeoutOn = false;
    int position = kPopupSliderMin;  // meaningful while timeoutOn
    bool soundOn = false;
    std::string sound;  // UTF-8, as the page shows it
};

// The page's start from the stored values, whether popups are on or not: a timeout above 0
// ticks the box at timeout / 10 (held within 1..10), a sound ticks the sound box.
PopupOptions PopupOptionsOf(std::uint32_t timeout, std::string_view sound);
// The value label: position x 10 while the timeout is on, else "0".
std::string PopupSliderLabel(bool timeoutOn, int position);
std::uint32_t PopupTimeoutOf(const PopupOptions& options);

// The values OK stores, or the message refusing them: a sound path longer than kMaxPopupSound
// bytes (the registry keeps no more, and a cut path would name another file).
struct PopupValues {
    std::uint32_t timeout = 0;
    std::string sound;  // the path as typed or chosen
};
struct PopupStore {
    unsigned message = 0;  // 0: stored
    PopupValues values;
};
PopupStore PopupValuesOf(const PopupOptions& options);

}  // namespace tarvell
