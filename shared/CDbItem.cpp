#include "shared/CDbItem.h"

#include <algorithm>
#include <stdexcept>

namespace tarvell {

namespace {

struct NamedField {
    int number;
    std::string_view name;
};

#define DB_NAME(Name) \
    NamedField { dbfield::k##Name, #Name }
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

const std::string& EmptyText() {
    static const std::string empty;
    return empty;
}

}  // namespace

CDbItem::CDbItem(const CDbItem& other) : Working(other.Working), words_(other.words_) {
    std::array<std::string, dbfield::kTextCount> texts;
    for (int slot = 0; slot < dbfield::kTextCount; ++slot) texts[slot] = other.TextOrEmpty(slot);
    PackTexts(texts);
}

CDbItem& CDbItem::operator=(const CDbItem& other) {
    if (this != &other) {
        CDbItem copy(other);
        *this = std::move(copy);
    }
    return *this;
}

bool CDbItem::operator==(const CDbItem& other) const {
    if (words_ != other.words_ || Working != other.Working) return false;
    for (int slot = 0; slot < dbfield::kTextCount; ++slot)
        if (TextOrEmpty(slot) != other.TextOrEmpty(slot)) return false;
    return true;
}

const std::string& CDbItem::LaterOrEmpty(int slot) const {
    for (const LaterText* t = later_.get(); t != nullptr; t = t->next.get())
        if (t->slot == slot) return t->text;
    return EmptyText();
}

std::string& CDbItem::TextAt(int slot) {
    const std::uint64_t bit = std::uint64_t{1} << slot;
    if (packedSlots_ & bit) return packed_[std::popcount(packedSlots_ & (bit - 1))];
    for (LaterText* t = later_.get(); t != nullptr; t = t->next.get())
        if (t->slot == slot) return t->text;
    auto added = std::make_unique<LaterText>();
    added->slot = slot;
    added->next = std::move(later_);
    later_ = std::move(added);
    return later_->text;
}

void CDbItem::PackTexts(std::array<std::string, dbfield::kTextCount>& texts) {
    std::uint64_t slots = 0;
    int count = 0;
    for (int slot = 0; slot < dbfield::kTextCount; ++slot) {
        if (texts[slot].empty()) continue;
        slots |= std::uint64_t{1} << slot;
        ++count;
    }
    std::unique_ptr<std::string[]> packed;
    if (count > 0) {
        packed = std::make_unique<std::string[]>(static_cast<std::size_t>(count));
        int at = 0;
        for (int slot = 0; slot < dbfield::kTextCount; ++slot)
            if (!texts[slot].empty()) packed[at++] = std::move(texts[slot]);
    }
    packedSlots_ = slots;
    packed_ = std::move(packed);
    later_.reset();
}

const std::string& CDbItem::Text(int n) const {
    CheckText(n);
    return TextOrEmpty(TextSlot(n));
}

std::int32_t CDbItem::Number(int n) const {
    CheckWord(n);
    return words_[WordSlot(n)];
}

void CDbItem::SetText(int n, std::string value) {
    CheckText(n);
    const int slot = TextSlot(n);
    if (value.empty() && TextOrEmpty(slot).empty()) return;  // no place for nothing
    TextAt(slot) = std::move(value);
}

void CDbItem::SetNumber(int n, std::int32_t value) {
    CheckWord(n);
    words_[WordSlot(n)] = value;
}

void CDbItem::CopyField(const CDbItem& from, int n) {
    if (dbfield::IsWord(n)) SetNumber(n, from.Number(n));
    else SetText(n, from.Text(n));
}

CDbItem CDbItem::FieldsOf(const CDbItem& from, int first, int last) {
    CDbItem part;
    std::array<std::string, dbfield::kTextCount> texts;
    for (int n = std::max(first, dbfield::kFirst); n <= std::min(last, dbfield::kLast); ++n) {
        if (dbfield::IsWord(n)) part.words_[WordSlot(n)] = from.words_[WordSlot(n)];
        else texts[TextSlot(n)] = from.TextOrEmpty(TextSlot(n));
    }
    part.PackTexts(texts);
    return part;
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
        else ar.WriteText(TextOrEmpty(TextSlot(n)));
    }
}

// Reads every field first, so that a damaged record leaves this one as it was.
void CDbItem::Load(ArchiveReader& ar) {
    std::array<std::string, dbfield::kTextCount> texts;
    std::array<std::int32_t, dbfield::kWordCount> words{};
    for (int n = dbfield::kFirst; n <= dbfield::kLast; ++n) {
        if (dbfield::IsWord(n)) words[WordSlot(n)] = ar.ReadWord();
        else texts[TextSlot(n)] = ar.ReadText();
    }
    words_ = words;
    PackTexts(texts);
}

std::vector<RecordValue> CDbItem::Values() const {
    std::vector<RecordValue> values;
    for (int n = dbfield::kFirst; n <= dbfield::kLast; ++n) {
        std::string name(FieldName(n));
        if (name.empty()) name = "Field" + std::to_string(n);
        if (dbfield::IsWord(n)) values.push_back({std::move(name), true, words_[WordSlot(n)], {}});
        else values.push_back({std::move(name), false, 0, TextOrEmpty(TextSlot(n))});
    }
    return values;
}

}  // namespace tarvell
