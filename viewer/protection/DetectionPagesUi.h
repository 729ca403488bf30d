// The property pages of the six detection rows, entered for the protection list: a master check
// box and sub-protections, each with its caption and a "Select Devices..." link shown only while
// it is on, and the linkup WMI page with its condition and value dialogs (one header each, named
// after its class). OK stores a page through SaveProtectionPage. GUI thread only.
#pragma once

#include <functional>
#include <string>
#include <vector>

class QWidget;

namespace tarvell {

// Runs the devices list on `keys` (changed in place); true when accepted. Empty (the default):
// the Devices List dialog of the current server.
using SelectDevicesHook = std::function<bool(QWidget* parent, std::vector<std::string>& keys)>;
void SetSelectDevicesHook(SelectDevicesHook hook);

// Enters the detection pages for detection rows 0 to 5.
void RegisterDetectionPages();

}  // namespace tarvell
