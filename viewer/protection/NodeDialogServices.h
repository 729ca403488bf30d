// What the protection pages' node dialogs (Devices List, Node Properties, Unauthorized List,
// Manage Nodes Count) take from the viewer: copies of the device and port tables, the settings
// edit, messages and the file picker, so tests script the messages and files. GUI thread only.
#pragma once

#include <functional>
#include <map>
#include <string>

#include "shared/CTarvellDoc.h"
#include "viewer/core/base/Prompt.h"
#include "viewer/core/hub/SettingsEdit.h"
#include "viewer/widgets/Pickers.h"

namespace tarvell {

using StringTable = std::map<std::string, std::string>;

// What the node list dialogs use of the viewer: copies of the device and port tables, the
// settings edit (EditSettings of the current server), messages and the file picker.
struct NodeDialogServices {
    StringTable devices, ports;
    std::function<EditResult(const std::function<void(CTarvellDoc&)>&)> editSettings;
    Prompt* prompt = nullptr;
    FilePicker* picker = nullptr;
};

class CTarvellApp;
// The services of the current server: its device and port tables as copied now, EditSettings.
NodeDialogServices NodeDialogServicesOf(CTarvellApp& app, Prompt& prompt, FilePicker& picker);

}  // namespace tarvell
