#include "viewer/protection/NodeDialogServices.h"

#include "viewer/core/hub/CTarvellApp.h"

namespace tarvell {

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

}  // namespace tarvell
