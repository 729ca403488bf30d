// The pages of the monitors area, entered into the main view's page table.
#pragma once

#include <QString>
#include <functional>

#include "viewer/core/summary/ReportText.h"

class QWidget;

namespace tarvell {

class PageTable;

// `report` opens a report dialog (the summary area's); the monitor page's report panels use it.
using MonitorReportOpener = std::function<QWidget*(QWidget* parent, const QString& caption,
                                                   const QString& title, const ReportTable& table)>;
void RegisterMonitorPages(PageTable& table, MonitorReportOpener report = {});

}  // namespace tarvell
