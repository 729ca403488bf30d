#include "shared/CEventItem.h"

#include <array>

namespace tarvell {

namespace {

using F = RecordField<CEventItem>;
#define EVENT_WORD(name) \
    F { #name, &CEventItem::name, nullptr }
#define EVENT_TEXT(name) \
    F { #name, nullptr, &CEventItem::name }

const std::array kEventFields{
    EVENT_WORD(Blocked),   EVENT_WORD(Deleted),        EVENT_WORD(Severity),
    EVENT_TEXT(DateKey),   EVENT_TEXT(Category),       EVENT_TEXT(SwitchKey),
    EVENT_TEXT(DeviceIp),  EVENT_TEXT(DeviceName),     EVENT_TEXT(DevicePort),
    EVENT_TEXT(PortKey),   EVENT_TEXT(DeviceLocation), EVENT_TEXT(SourceMac),
    EVENT_TEXT(SourceIp),  EVENT_TEXT(SourceName),     EVENT_TEXT(Description),
    EVENT_TEXT(Before),    EVENT_TEXT(Current),        EVENT_TEXT(EventType),
    EVENT_TEXT(Submitter), EVENT_TEXT(Extra),
};

#undef EVENT_WORD
#undef EVENT_TEXT

}  // namespace

std::span<const RecordField<CEventItem>> CEventItem::ArchiveFields() { return kEventFields; }

void CEventItem::Store(ArchiveWriter& ar) const { StoreRecordFields(ar, *this, ArchiveFields()); }

void CEventItem::Load(ArchiveReader& ar) { LoadRecordFields(ar, *this, ArchiveFields()); }

}  // namespace tarvell
