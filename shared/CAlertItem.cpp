#include "shared/CAlertItem.h"

#include <array>

#include "shared/CEventItem.h"

namespace tarvell {

namespace {

using F = RecordField<CAlertItem>;
#define ALERT_WORD(name) \
    F { #name, &CAlertItem::name, nullptr }
#define ALERT_TEXT(name) \
    F { #name, nullptr, &CAlertItem::name }

// The texts come in the order of the event's texts after DateKey.
const std::array kAlertFields{
    ALERT_WORD(State),       ALERT_WORD(Severity),  ALERT_TEXT(Category),
    ALERT_TEXT(SwitchKey),   ALERT_TEXT(DeviceIp),  ALERT_TEXT(DeviceName),
    ALERT_TEXT(DevicePort),  ALERT_TEXT(PortKey),   ALERT_TEXT(DeviceLocation),
    ALERT_TEXT(SourceMac),   ALERT_TEXT(SourceIp),  ALERT_TEXT(SourceName),
    ALERT_TEXT(Description), ALERT_TEXT(Before),    ALERT_TEXT(Current),
    ALERT_TEXT(EventType),   ALERT_TEXT(Submitter),
};

#undef ALERT_WORD
#undef ALERT_TEXT

}  // namespace

std::span<const RecordField<CAlertItem>> CAlertItem::ArchiveFields() { return kAlertFields; }

void CAlertItem::Store(ArchiveWriter& ar) const { StoreRecordFields(ar, *this, ArchiveFields()); }

void CAlertItem::Load(ArchiveReader& ar) { LoadRecordFields(ar, *this, ArchiveFields()); }

std::unique_ptr<CAlertItem> AlertFromEvent(const CEventItem& event) {
    auto alert = std::make_unique<CAlertItem>();
    alert->State = 0;
    alert->Severity = event.Severity;
    alert->Description = event.Description;
    alert->EventType = event.EventType;
    alert->Before = event.Before;
    alert->Current = event.Current;
    alert->Category = event.Category;
    alert->DeviceIp = event.DeviceIp;
    alert->SourceIp = event.SourceIp;
    alert->Submitter = event.Submitter;
    alert->SwitchKey = event.SwitchKey;
    alert->SourceMac = event.SourceMac;
    alert->DeviceName = event.DeviceName;
    alert->SourceName = event.SourceName;
    alert->DevicePort = event.DevicePort;
    alert->PortKey = event.PortKey;
    alert->DeviceLocation = event.DeviceLocation;
    return alert;
}

}  // namespace tarvell
