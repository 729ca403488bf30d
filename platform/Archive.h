// Reader and writer of the class library's archive bytes, kept exactly so that the files stay
// interchangeable with the programs that wrote them. The writer appends to a byte buffer; the
// reader walks a byte buffer and throws ArchiveError on anything it does not accept.
#pragma once

#include <cstdint>
#include <map>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace tarvell {

class ArchiveError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Largest text or count the reader accepts. Also bounded by the bytes left in the input.
inline constexpr std::uint32_t kMaxArchiveText = 64u * 1024u * 1024u;

class ArchiveWriter {
public:
    void WriteByte(std::uint8_t v);
    void WriteShort(std::uint16_t v);
    void WriteUWord(std::uint32_t v);
    void WriteWord(std::int32_t v);
    // Length prefix (1, 3 or 7 bytes) and the bytes, no terminator.
    // Throws ArchiveError above kMaxArchiveText: the reader would refuse the file.
    void WriteText(std::string_view text);
    // 16-bit count, or 0xFFFF and a 32-bit count from 0xFFFF on.
    // Throws ArchiveError above kMaxArchiveText.
    void WriteCount(std::uint64_t count);
    void WriteStringList(const std::vector<std::string>& list);
    void WriteStringMap(const std::map<std::string, std::string>& map);
    // Class tag in front of an object: the first object of a class writes the new-class tag,
    // schema and class name; later ones the class reference tag (short or long form).
    void WriteObjectHeader(std::string_view className, std::uint16_t schema);

    const std::string& Bytes() const { return bytes_; }
    std::string TakeBytes() { return std::move(bytes_); }
    // Lets the bytes written so far go (a writer that hands the archive out in pieces) and keeps
    // their room and the numbering of classes and objects: the next bytes go on the same archive.
    void DropBytes() { bytes_.clear(); }
    void Reserve(std::size_t bytes) { bytes_.reserve(bytes); }

private:
    // Hands out the next index of the archive's map (classes and objects share it).
    std::uint32_t TakeMapIndex();

    std::string bytes_;
    std::map<std::string, std::uint32_t, std::less<>> classIndex_;
    std::uint32_t mapCount_ = 1;  // index 0 is the null object
};

class ArchiveReader {
public:
    explicit ArchiveReader(std::string_view data) : data_(data) {}
    // The reader does not own its bytes: a temporary string would be gone before the first read.
    explicit ArchiveReader(std::string&&) = delete;

    std::uint8_t ReadByte();
    std::uint16_t ReadShort();
    std::uint32_t ReadUWord();
    std::int32_t ReadWord();
    // Decodes Unicode-marked texts (0xFF 0xFFFE ...) to the stored single-byte form
    // (Windows-1252; a character without a byte there becomes '?').
    std::string ReadText();
    // A count above kMaxArchiveText or above the bytes left is an error: every element of a
    // counted structure takes at least one byte.
    std::uint32_t ReadCount();
    std::vector<std::string> ReadStringList();
    std::map<std::string, std::string> ReadStringMap();
    // Reads the tag in front of an object and checks that it introduces a new object of the
    // expected class and schema. Null and back-reference tags, other classes and other schemas
    // are errors.
    void ReadObjectHeader(std::string_view expectedClass, std::uint16_t expectedSchema);

    std::size_t Remaining() const { return data_.size() - pos_; }
    std::size_t Position() const { return pos_; }
    bool AtEnd() const { return pos_ == data_.size(); }

private:
    struct TextLength {
        std::uint64_t length;
        bool wide;  // counts UTF-16 code units after the Unicode marker
    };

    void Need(std::size_t n) const;
    std::string_view Take(std::size_t n);
    std::uint64_t ReadUQuad();
    TextLength ReadTextLength();
    void ReadNewClass(std::string_view expectedClass, std::uint16_t expectedSchema);
    std::uint32_t ReadClassReference(std::uint16_t tag);
    void CheckKnownClass(std::uint32_t classIndex, std::string_view expectedClass,
                         std::uint16_t expectedSchema) const;
    void TakeMapIndex();

    std::string_view data_;
    std::size_t pos_ = 0;
    std::vector<std::pair<std::string, std::uint16_t>> classes_;  // by class index
    std::map<std::uint32_t, std::size_t> classByIndex_;
    std::uint32_t mapCount_ = 1;
};

}  // namespace tarvell
