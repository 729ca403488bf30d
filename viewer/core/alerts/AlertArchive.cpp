#include "viewer/core/alerts/AlertArchive.h"

#include "shared/StateFiles.h"
#include "viewer/core/hub/CTarvellApp.h"

namespace tarvell {

bool WriteAlertArchive(const CTarvellApp& app, const std::string& path) {
    AlertLogFile file;
    app.CopyAlerts(file.AlertLog);
    return !path.empty() && WriteStateFile(path, file);
}

ArchiveView ReadAlertArchive(const std::string& path, std::uint32_t mode) {
    ArchiveView view;
    AlertLogFile file;
    if (path.empty() || !ReadStateFile(path, file)) return view;
    view.readable = true;
    view.rows = AlertRowsOf(file.AlertLog, mode);
    for (const AlertRow& row : view.rows) view.alerts.emplace(row.key, *file.AlertLog.at(row.key));
    return view;
}

}  // namespace tarvell
