// The main view's page slots: one page window each, numbered 1..8 as the view's routes and the
// pages' object names ("page3") use them. An overview and its detailed screen are two slots; the
// detailed screen shows its detection or its prevention side by its mode.
#pragma once

namespace tarvell {

enum class PageSlot : int {
    Summary = 1,
    MonitorOverview = 2,
    Monitor = 3,  // detection or prevention monitor
    ProtectionOverview = 4,
    Protection = 5,  // intrusion detection or prevention
    AlertOverview = 6,
    Alerts = 7,  // detection or prevention alerts
    Settings = 8,
};

inline constexpr int kPageSlots = 8;

constexpr int SlotNumber(PageSlot slot) { return static_cast<int>(slot); }
// The slot of a number, or false for a number outside 1..8.
constexpr bool SlotOf(int number, PageSlot& slot) {
    if (number < 1 || number > kPageSlots) return false;
    slot = static_cast<PageSlot>(number);
    return true;
}

}  // namespace tarvell
