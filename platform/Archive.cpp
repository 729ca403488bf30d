#include "platform/Archive.h"
#include "platform/Text.h"

#include <array>

namespace tarvell {

namespace {

// Escapes of the length prefixes.
constexpr std::uint8_t kByteEscape = 0xFF;
constexpr std::uint16_t kShortEscape = 0xFFFF;
constexpr std::uint32_t kWordEscape = 0xFFFFFFFFu;
constexpr std::uint16_t kShortTextLimit = 0xFFFE;  // 0xFFFE itself is the Unicode marker
constexpr std::uint16_t kUnicodeMarker = 0xFFFE;

// Object tags.
constexpr std::uint16_t kNullTag = 0;
constexpr std::uint16_t kNewClassTag = 0xFFFF;
constexpr std::uint16_t kClassTag = 0x8000;
constexpr std::uint16_t kBigObjectTag = 0x7FFF;
constexpr std::uint32_t kBigClassTag = 0x80000000u;
constexpr std::uint32_t kMaxMapCount = 0x3FFFFFFE;

bool IsHighSurrogate(std::uint16_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
bool IsLowSurrogate(std::uint16_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }

std::uint16_t UnitAt(std::string_view bytes, std::size_t i) {
    return static_cast<std::uint16_t>(static_cast<std::uint8_t>(bytes[i]) |
                                      static_cast<std::uint8_t>(bytes[i + 1]) << 8);
}

// UTF-16LE to the single-byte form; a surrogate pair is one character and becomes one '?'.
std::string AnsiFromUtf16(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size() / 2);
    for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
        const std::uint16_t unit = UnitAt(bytes, i);
        if (IsHighSurrogate(unit) && i + 3 < bytes.size() && IsLowSurrogate(UnitAt(bytes, i + 2))) {
            i += 2;
        }
        out.push_back(CodePointToCp1252(unit));
    }
    return out;
}

void CheckWritable(std::uint64_t n, const char* what) {
    if (n > kMaxArchiveText) throw ArchiveError(std::string(what) + " too large for the archive");
}

}  // namespace

// ---- writer ----

void ArchiveWriter::WriteByte(std::uint8_t v) { bytes_.push_back(static_cast<char>(v)); }

void ArchiveWriter::WriteShort(std::uint16_t v) {
    WriteByte(static_cast<std::uint8_t>(v & 0xFF));
    WriteByte(static_cast<std::uint8_t>(v >> 8));
}

void ArchiveWriter::WriteUWord(std::uint32_t v) {
    WriteShort(static_cast<std::uint16_t>(v & 0xFFFF));
    WriteShort(static_cast<std::uint16_t>(v >> 16));
}

void ArchiveWriter::WriteWord(std::int32_t v) { WriteUWord(static_cast<std::uint32_t>(v)); }

void ArchiveWriter::WriteText(std::string_view text) {
    const std::size_t n = text.size();
    CheckWritable(n, "text");
    if (n < kByteEscape) {
        WriteByte(static_cast<std::uint8_t>(n));
    } else if (n < kShortTextLimit) {
        WriteByte(kByteEscape);
        WriteShort(static_cast<std::uint16_t>(n));
    } else {
        WriteByte(kByteEscape);
        WriteShort(kShortEscape);
        WriteUWord(static_cast<std::uint32_t>(n));
    }
    bytes_.append(text);
}

void ArchiveWriter::WriteCount(std::uint64_t count) {
    CheckWritable(count, "count");
    if (count < kShortEscape) {
        WriteShort(static_cast<std::uint16_t>(count));
    } else {
        WriteShort(kShortEscape);
        WriteUWord(static_cast<std::uint32_t>(count));
    }
}

void ArchiveWriter::WriteStringList(const std::vector<std::string>& list) {
    WriteCount(list.size());
    for (const auto& text : list) WriteText(text);
}

void ArchiveWriter::WriteStringMap(const std::map<std::string, std::string>& map) {
    WriteCount(map.size());
    for (const auto& [key, value] : map) {
        WriteText(key);
        WriteText(value);
    }
}

std::uint32_t ArchiveWriter::TakeMapIndex() {
    if (mapCount_ >= kMaxMapCount) throw ArchiveError("too many objects for one archive");
    return mapCount_++;
}

void ArchiveWriter::WriteObjectHeader(std::string_view className, std::uint16_t schema) {
    const auto known = classIndex_.find(className);
    if (known == classIndex_.end()) {
        if (className.size() > kShortEscape) throw ArchiveError("class name too long");
        WriteShort(kNewClassTag);
        WriteShort(schema);
        WriteShort(static_cast<std::uint16_t>(className.size()));
        bytes_.append(className);
        classIndex_.emplace(std::string(className), TakeMapIndex());
    } else if (known->second < kBigObjectTag) {
        WriteShort(static_cast<std::uint16_t>(kClassTag | known->second));
    } else {
        WriteShort(kBigObjectTag);
        WriteUWord(kBigClassTag | known->second);
    }
    TakeMapIndex();  // the object itself
}

// ---- reader ----

void ArchiveReader::Need(std::size_t n) const {
    if (n > Remaining()) throw ArchiveError("archive truncated");
}

std::string_view ArchiveReader::Take(std::size_t n) {
    Need(n);
    const std::string_view bytes = data_.substr(pos_, n);
    pos_ += n;
    return bytes;
}

std::uint8_t ArchiveReader::ReadByte() { return static_cast<std::uint8_t>(Take(1)[0]); }

std::uint16_t ArchiveReader::ReadShort() {
    const std::string_view b = Take(2);
    return static_cast<std::uint16_t>(static_cast<std::uint8_t>(b[0]) |
                                      static_cast<std::uint8_t>(b[1]) << 8);
}

std::uint32_t ArchiveReader::ReadUWord() {
    const std::uint32_t low = ReadShort();
    const std::uint32_t high = ReadShort();
    return low | high << 16;
}

std::int32_t ArchiveReader::ReadWord() { return static_cast<std::int32_t>(ReadUWord()); }

std::uint64_t ArchiveReader::ReadUQuad() {
    const std::uint64_t low = ReadUWord();
    const std::uint64_t high = ReadUWord();
    return low | high << 32;
}

// 1, 3 or 7 bytes (11 with a 64-bit length); after the Unicode marker the same forms again.
ArchiveReader::TextLength ArchiveReader::ReadTextLength() {
    bool wide = false;
    std::uint8_t byteLength = ReadByte();
    if (byteLength < kByteEscape) return {byteLength, wide};
    std::uint16_t shortLength = ReadShort();
    if (shortLength == kUnicodeMarker) {
        wide = true;
        byteLength = ReadByte();
        if (byteLength < kByteEscape) return {byteLength, wide};
        shortLength = ReadShort();
    }
    if (shortLength < kShortEscape) return {shortLength, wide};
    const std::uint32_t wordLength = ReadUWord();
    if (wordLength < kWordEscape) return {wordLength, wide};
    return {ReadUQuad(), wide};
}

std::string ArchiveReader::ReadText() {
    const TextLength text = ReadTextLength();
    if (text.length > kMaxArchiveText) throw ArchiveError("archive text too long");
    const auto units = static_cast<std::size_t>(text.length);
    if (!text.wide) return std::string(Take(units));
    return AnsiFromUtf16(Take(units * 2));
}

std::uint32_t ArchiveReader::ReadCount() {
    std::uint64_t count = ReadShort();
    if (count == kShortEscape) {
        count = ReadUWord();
        if (count == kWordEscape) count = ReadUQuad();
    }
    if (count > kMaxArchiveText || count > Remaining())
        throw ArchiveError("archive count too large");
    return static_cast<std::uint32_t>(count);
}

std::vector<std::string> ArchiveReader::ReadStringList() {
    std::vector<std::string> list;
    const std::uint32_t count = ReadCount();
    for (std::uint32_t i = 0; i < count; ++i) list.push_back(ReadText());
    return list;
}

std::map<std::string, std::string> ArchiveReader::ReadStringMap() {
    std::map<std::string, std::string> map;
    const std::uint32_t count = ReadCount();
    for (std::uint32_t i = 0; i < count; ++i) {
        std::string key = ReadText();
        map.insert_or_assign(std::move(key), ReadText());
    }
    return map;
}

void ArchiveReader::TakeMapIndex() {
    if (mapCount_ >= kMaxMapCount) throw ArchiveError("too many objects in archive");
    ++mapCount_;
}

void ArchiveReader::ReadNewClass(std::string_view expectedClass, std::uint16_t expectedSchema) {
    const std::uint16_t schema = ReadShort();
    const std::uint16_t nameLength = ReadShort();
    if (nameLength != expectedClass.size() || Take(nameLength) != expectedClass) {
        throw ArchiveError("archive holds another class than " + std::string(expectedClass));
    }
    if (schema != expectedSchema) {
        throw ArchiveError("archive holds another schema of " + std::string(expectedClass));
    }
    classByIndex_[mapCount_] = classes_.size();
    classes_.emplace_back(std::string(expectedClass), schema);
    TakeMapIndex();
}

// The class index of a class reference tag; object tags (null, back-reference) are errors.
std::uint32_t ArchiveReader::ReadClassReference(std::uint16_t tag) {
    if (tag == kBigObjectTag) {
        const std::uint32_t bigTag = ReadUWord();
        if ((bigTag & kBigClassTag) == 0) throw ArchiveError("archive holds an object reference");
        return bigTag & ~kBigClassTag;
    }
    if (tag == kNullTag) throw ArchiveError("archive holds a null object");
    if ((tag & kClassTag) == 0) throw ArchiveError("archive holds an object reference");
    return tag & ~kClassTag;
}

void ArchiveReader::CheckKnownClass(std::uint32_t classIndex, std::string_view expectedClass,
                                    std::uint16_t expectedSchema) const {
    const auto known = classByIndex_.find(classIndex);
    if (known == classByIndex_.end()) throw ArchiveError("archive refers to an unknown class");
    const auto& [name, schema] = classes_[known->second];
    if (name != expectedClass) {
        throw ArchiveError("archive holds another class than " + std::string(expectedClass));
    }
    if (schema != expectedSchema) {
        throw ArchiveError("archive holds another schema of " + std::string(expectedClass));
    }
}

void ArchiveReader::ReadObjectHeader(std::string_view expectedClass, std::uint16_t expectedSchema) {
    const std::uint16_t tag = ReadShort();
    if (tag == kNewClassTag) {
        ReadNewClass(expectedClass, expectedSchema);
    } else {
        CheckKnownClass(ReadClassReference(tag), expectedClass, expectedSchema);
    }
    TakeMapIndex();  // the object itself
}

}  // namespace tarvell
