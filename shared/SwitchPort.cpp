#include "shared/SwitchPort.h"

namespace tarvell {

std::unique_ptr<CEventItem> MakeDetectionEvent(const SwitchPort& port, const std::string& type,
                                               const std::string& sourceMac) {
    auto event = std::make_unique<CEventItem>();
    event->Severity = 0;
    event->Category = "Detection";
    event->Description = type;
    event->EventType = type;
    event->DeviceIp = port.SwitchIp;
    event->SwitchKey = port.SwitchKey;
    event->DeviceName = port.SwitchName;
    event->DeviceLocation = port.SwitchLocation;
    event->PortKey = port.PortIndex;
    event->DevicePort = port.PortName;
    event->SourceMac = sourceMac;
    return event;
}

}  // namespace tarvell
