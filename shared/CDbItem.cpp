#include "shared/CDbItem.h"

#include <stdexcept>

namespace tarvell {

namespace {

struct NamedField {
    int number;
    std::string_view name;
};

#define DB_NAME(Name) NamedField{dbfield::k##Name, #Name}
constexpr NamedField kNamedFields[] = {
    DB_NAME(SwitchKey),       DB_NAME(SwitchIps),         DB_NAME(SwitchName),
    DB_NAME(SwitchCommunity), DB_NAME(SwitchObjectId),    DB_NAME(SwitchContact),
    DB_NAME(SwitchAltName),   DB_NAME(SwitchLocation),    DB_NAME(SwitchMac),
    DB_NAME(SwitchMac2),      DB_NAME(SwitchDisabled),    DB_NAME(PortSwitch),
    DB_NAME(PortIndex),       DB_NAME(PortName),          DB_NAME(PortAlias),
    DB_NAME(PortMac),         DB_NAME(PortReceiveRate),   DB_NAME(PortTransmitRate),
    DB_NAME(PortErrorsRate),  DB_NAME(PortBroadcastRate), DB_NAME(PortStatus),
    DB_NAME(PortDisabled),    DB_NAME(NodeMac),           DB_NAME(NodeIp),
    DB_NAME(NodeName),        DB_NAME(NodeUser),          DB_NAME(NodeSwitch),
    DB_NAME(NodePort),        DB_NAME(NodesOnPort),       DB_NAME(NodeFirstSeen),
    DB_NAME(NodeLastSeen),    DB_NAME(NodeDisabled),
};
#undef DB_NAME

void CheckText(int n) {
    if (!dbfield::IsValid(n) || dbfield::IsWord(n))
        throw std::out_of_range("CDbItem: field " + std::to_string(n) + " is not a text");
}

void CheckWord(int n) {
    if (!dbfield::IsValid(n) || !dbfield::IsWord(n))
        throw std::out_of_range("CDbItem: field " + std::to_string(n) + " is not a number");
}

}  // namespace

const std::string& CDbItem::Text(int n) const {
    CheckText(n);
    return texts_[TextSlot(n)];
}

std::int32_t CDbItem::Number(int n) const {
    CheckWord(n);
    return words_[WordSlot(n)];
}

void CDbItem::SetText(int n, std::string value) {
    CheckText(n);
    texts_[TextSlot(n)] = std::move(value);
}

void CDbItem::SetNumber(int n, std::int32_t value) {
    CheckWord(n);
    words_[WordSlot(n)] = value;
}

void CDbItem::CopyField(const CDbItem& from, int n) {
    if (dbfield::IsWord(n)) SetNumber(n, from.Number(n));
    else SetText(n, from.Text(n));
}

std::string_view CDbItem::FieldName(int n) {
    for (const auto& f : kNamedFields)
        if (f.number == n) return f.name;
    return {};
}

int CDbItem::FieldNumber(std::string_view name) {
    for (const auto& f : kNamedFields)
        if (f.name == name) return f.number;
    return 0;
}

// Archive order is field order: texts 1-16, words 17-20, texts 21-51, words 52-53,
// texts 54-63, word 64.
void CDbItem::Store(ArchiveWriter& ar) const {
    for (int n = dbfield::kFirst; n <= dbfield::kLast; ++n) {
        if (dbfield::IsWord(n)) ar.WriteWord(words_[WordSlot(n)]);
        else ar.WriteText(texts_[TextSlot(n)]);
    }
}

void CDbItem::Load(ArchiveReader& ar) {
    for (int n = dbfield::kFirst; n <= dbfield::kLast; ++n) {
        if (dbfield::IsWord(n)) words_[WordSlot(n)] = ar.ReadWord();
        else texts_[TextSlot(n)] = ar.ReadText();
    }
}

std::vector<RecordValue> CDbItem::Values() const {
    std::vector<RecordValue> values;
    for (int n = dbfield::kFirst; n <= dbfield::kLast; ++n) {
        std::string name(FieldName(n));
        if (name.empty()) name = "Field" + std::to_string(n);
        if (dbfield::IsWord(n)) values.push_back({std::move(name), true, words_[WordSlot(n)], {}});
        else values.push_back({std::move(name), false, 0, texts_[TextSlot(n)]});
    }
    return values;
}

}  // namespace tarvell
