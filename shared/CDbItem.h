// One record of the sibling product's database: a switch, a port or a node. Every record carries
// all three parts (fields 1 to 64); the map that holds it says which part is meaningful. Fields
// this system does not interpret are carried unchanged.
//
// Memory: a record uses one of its three parts, so most of its 57 texts are empty. Only texts
// that hold something take a place: those of a loaded or copied record packed in one block, those
// first written later one by one. A text read through a const record costs nothing; the
// non-const accessors give a place to write to and so make one for an empty text: where a record
// is only read, read it through a const reference. A reference returned by an accessor stays
// valid until the record is assigned, loaded or destroyed.
#pragma once

#include <array>
#include <bit>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Archive.h"
#include "shared/RecordFields.h"

namespace tarvell {

// Field numbers of the record (1 to 64). Fields not named here are texts, except the words
// 17 to 20, 52, 53 and 64.
namespace dbfield {
// Switch part: texts 1 to 16, words 17 to 20.
inline constexpr int kSwitchKey = 1;
inline constexpr int kSwitchIps = 2;  // ";"-separated; the first is the switch's ip
inline constexpr int kSwitchName = 3;
inline constexpr int kSwitchCommunity = 4;  // "SNMP/V3" selects SNMPv3
inline constexpr int kSwitchObjectId = 5;   // sysObjectID text
inline constexpr int kSwitchContact = 7;
inline constexpr int kSwitchAltName = 8;  // used when the name is empty
inline constexpr int kSwitchLocation = 9;
inline constexpr int kSwitchMac = 12;
inline constexpr int kSwitchMac2 = 13;
inline constexpr int kSwitchDisabled = 20;  // word; non-zero: the record is ignored
// Port part: texts 21 to 51, words 52 and 53.
inline constexpr int kPortSwitch = 21;  // key of the port's switch
inline constexpr int kPortIndex = 23;   // the port key: interface index as decimal text
inline constexpr int kPortName = 24;
inline constexpr int kPortAlias = 26;  // interface type text
inline constexpr int kPortMac = 28;
inline constexpr int kPortReceiveRate = 29;    // receive utilisation, percent
inline constexpr int kPortTransmitRate = 30;   // transmit utilisation, percent
inline constexpr int kPortErrorsRate = 31;     // errors per second
inline constexpr int kPortBroadcastRate = 32;  // broadcasts per second
inline constexpr int kPortStatus = 52;         // word; 0 down, non-zero up
inline constexpr int kPortDisabled = 53;       // word
// Node part: texts 54 to 63, word 64.
inline constexpr int kNodeMac = 54;
inline constexpr int kNodeIp = 55;  // may end in a remark in parentheses
inline constexpr int kNodeName = 56;
inline constexpr int kNodeUser = 57;
inline constexpr int kNodeSwitch = 59;     // key of the switch where the node was seen
inline constexpr int kNodePort = 60;       // port number on that switch
inline constexpr int kNodesOnPort = 61;    // number of nodes on the node's port, decimal text
inline constexpr int kNodeFirstSeen = 62;  // "%ld" seconds
inline constexpr int kNodeLastSeen = 63;   // "%ld" seconds
inline constexpr int kNodeDisabled = 64;   // word

inline constexpr int kFirst = 1;
inline constexpr int kLast = 64;
inline constexpr int kTextCount = 57;
inline constexpr int kWordCount = 7;

constexpr bool IsWord(int n) { return (n >= 17 && n <= 20) || n == 52 || n == 53 || n == 64; }
constexpr bool IsValid(int n) { return n >= kFirst && n <= kLast; }
// Position of field n among the texts or among the words of a record.
constexpr int TextSlot(int n) { return n - 1 - (n > 20 ? 4 : 0) - (n > 53 ? 2 : 0); }
constexpr int WordSlot(int n) { return n <= 20 ? n - 17 : (n <= 53 ? n - 48 : 6); }
static_assert(TextSlot(63) == kTextCount - 1 && WordSlot(64) == kWordCount - 1);
}  // namespace dbfield

class CDbItem {
public:
    static constexpr const char* kClassName = "CDbItem";
    static constexpr std::uint16_t kSchema = 1;

    // Field n (1..64). Text() of a word field, Number() of a text field, or a number outside
    // 1..64 throws std::out_of_range.
    const std::string& Text(int n) const;
    std::int32_t Number(int n) const;
    void SetText(int n, std::string value);
    void SetNumber(int n, std::int32_t value);
    // Copies field n (text or word) from another record.
    void CopyField(const CDbItem& from, int n);
    // A record holding fields first..last of `from` and nothing else (no working texts), its
    // texts packed as those of a copy.
    static CDbItem FieldsOf(const CDbItem& from, int first, int last);

    // The name of field n as the system knows it ("SwitchIps"), or "" for a field it does not
    // interpret.
    static std::string_view FieldName(int n);
    // Field number of a name given by FieldName, or 0.
    static int FieldNumber(std::string_view name);

#define TARVELL_DB_TEXT(Name)                                          \
    std::string& Name() { return TextAt(TextSlot(dbfield::k##Name)); } \
    const std::string& Name() const { return TextOrEmpty(TextSlot(dbfield::k##Name)); }
#define TARVELL_DB_WORD(Name)                                           \
    std::int32_t& Name() { return words_[WordSlot(dbfield::k##Name)]; } \
    std::int32_t Name() const { return words_[WordSlot(dbfield::k##Name)]; }

    TARVELL_DB_TEXT(SwitchKey)
    TARVELL_DB_TEXT(SwitchIps)
    TARVELL_DB_TEXT(SwitchName)
    TARVELL_DB_TEXT(SwitchCommunity)
    TARVELL_DB_TEXT(SwitchObjectId)
    TARVELL_DB_TEXT(SwitchContact)
    TARVELL_DB_TEXT(SwitchAltName)
    TARVELL_DB_TEXT(SwitchLocation)
    TARVELL_DB_TEXT(SwitchMac)
    TARVELL_DB_TEXT(SwitchMac2)
    TARVELL_DB_WORD(SwitchDisabled)
    TARVELL_DB_TEXT(PortSwitch)
    TARVELL_DB_TEXT(PortIndex)
    TARVELL_DB_TEXT(PortName)
    TARVELL_DB_TEXT(PortAlias)
    TARVELL_DB_TEXT(PortMac)
    TARVELL_DB_TEXT(PortReceiveRate)
    TARVELL_DB_TEXT(PortTransmitRate)
    TARVELL_DB_TEXT(PortErrorsRate)
    TARVELL_DB_TEXT(PortBroadcastRate)
    TARVELL_DB_WORD(PortStatus)
    TARVELL_DB_WORD(PortDisabled)
    TARVELL_DB_TEXT(NodeMac)
    TARVELL_DB_TEXT(NodeIp)
    TARVELL_DB_TEXT(NodeName)
    TARVELL_DB_TEXT(NodeUser)
    TARVELL_DB_TEXT(NodeSwitch)
    TARVELL_DB_TEXT(NodePort)
    TARVELL_DB_TEXT(NodesOnPort)
    TARVELL_DB_TEXT(NodeFirstSeen)
    TARVELL_DB_TEXT(NodeLastSeen)
    TARVELL_DB_WORD(NodeDisabled)

#undef TARVELL_DB_TEXT
#undef TARVELL_DB_WORD

    // Four texts for the engine's own use; never stored.
    std::array<std::string, 4> Working;

    void Store(ArchiveWriter& ar) const;
    void Load(ArchiveReader& ar);
    // Every stored field in archive order, named "SwitchIps" or "Field6".
    std::vector<RecordValue> Values() const;

    CDbItem() = default;
    CDbItem(const CDbItem& other);
    CDbItem(CDbItem&&) noexcept = default;
    CDbItem& operator=(const CDbItem& other);
    CDbItem& operator=(CDbItem&&) noexcept = default;
    ~CDbItem() = default;

    // Every field and the working texts are equal (an empty text equals one never written).
    bool operator==(const CDbItem& other) const;

private:
    static constexpr int TextSlot(int n) { return dbfield::TextSlot(n); }
    static constexpr int WordSlot(int n) { return dbfield::WordSlot(n); }

    // A text first written after the record was loaded or copied.
    struct LaterText {
        std::unique_ptr<LaterText> next;
        std::string text;
        int slot = 0;
    };

    const std::string& TextOrEmpty(int slot) const {
        const std::uint64_t bit = std::uint64_t{1} << slot;
        if (packedSlots_ & bit) return packed_[std::popcount(packedSlots_ & (bit - 1))];
        return LaterOrEmpty(slot);
    }
    const std::string& LaterOrEmpty(int slot) const;
    std::string& TextAt(int slot);  // makes the text's place when it has none
    // Packs the given texts (one per slot, empty ones left out) as this record's texts.
    void PackTexts(std::array<std::string, dbfield::kTextCount>& texts);

    // Bit i set: text slot i is packed_[number of lower bits set].
    std::uint64_t packedSlots_ = 0;
    std::unique_ptr<std::string[]> packed_;
    std::unique_ptr<LaterText> later_;
    std::array<std::int32_t, dbfield::kWordCount> words_{};
};

}  // namespace tarvell
