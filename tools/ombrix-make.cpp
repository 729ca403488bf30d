// ombrix-make: writes a sibling database file (Ombrix.db) for a test installation from a
// readable description.
// Usage: ombrix-make <description.txt> <out Ombrix.db>
//
// The description is read line by line. A line is one of:
//   - blank, or a comment: "#" as its first non-blank character;
//   - a record opener: "switch <switch key>", "port <switch key>/<port number>" or
//     "node <node MAC>"; the key must not contain blanks;
//   - a field of the open record: a field name, one blank, and the value up to the end of the
//     line (it may hold blanks); a field name alone sets an empty value. Field names are those of
//     the record's part:
//       switch: SwitchIps SwitchName SwitchCommunity SwitchObjectId SwitchContact SwitchAltName
//               SwitchLocation SwitchMac SwitchMac2 SwitchDisabled
//       port:   PortName PortAlias PortMac PortReceiveRate PortTransmitRate PortErrorsRate
//               PortBroadcastRate PortStatus PortDisabled
//       node:   NodeIp NodeName NodeUser NodeSwitch NodePort NodesOnPort NodeFirstSeen
//               NodeLastSeen NodeDisabled
//     and in every record "Field<n>" for any field 1..64 of the record. SwitchDisabled,
//     PortStatus, PortDisabled, NodeDisabled and Field17-20, 52, 53, 64 are numbers (decimal,
//     32-bit, optional "-"); everything else is text;
//   - "end", which closes the open record.
// The key fills the key fields: SwitchKey of a switch; PortSwitch and PortIndex of a port;
// NodeMac of a node. A field given twice in a record, a key used twice for one kind, an unknown
// field, a field outside a record, a record left open at the end, a control character, or a
// line longer than 4096 bytes is an error reported as "<file>:<line>: <reason>"; then nothing
// is written. Exit status: 0 written, 1 bad description or write failure, 64 usage.
#include <charconv>
#include <climits>
#include <fstream>
#include <iostream>
#include <set>
#include <stdexcept>
#include <string>
#include <string_view>

#include "shared/CDbItem.h"
#include "shared/StateFiles.h"

namespace tarvell {
namespace {

constexpr std::size_t kMaxLine = 4096;
constexpr int kExitBadInput = 1;
constexpr int kExitUsage = 64;

class DescriptionError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

enum class Part { None, Switch, Port, Node };

struct Range {
    int first;
    int last;
};

Range PartFields(Part part) {
    switch (part) {
        case Part::Switch: return {1, 20};
        case Part::Port: return {21, 53};
        case Part::Node: return {54, 64};
        case Part::None: break;
    }
    return {0, -1};
}

std::string_view PartWord(Part part) {
    switch (part) {
        case Part::Switch: return "switch";
        case Part::Port: return "port";
        case Part::Node: return "node";
        case Part::None: break;
    }
    return "";
}

std::string_view TrimLeft(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    return s;
}

std::int32_t ParseNumber(std::string_view text) {
    std::int32_t value = 0;
    const char* end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data(), end, value);
    if (text.empty() || ec != std::errc() || ptr != end)
        throw DescriptionError("\"" + std::string(text) + "\" is not a 32-bit decimal number");
    return value;
}

// Field number of a field word ("SwitchName", "Field6"), or 0.
int FieldOfWord(std::string_view word) {
    if (word.starts_with("Field")) {
        int n = 0;
        const std::string_view digits = word.substr(5);
        const auto [ptr, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), n);
        if (digits.empty() || ec != std::errc() || ptr != digits.data() + digits.size()) return 0;
        return dbfield::IsValid(n) ? n : 0;
    }
    return CDbItem::FieldNumber(word);
}

class DescriptionReader {
public:
    void Line(std::string_view line) {
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        if (line.size() > kMaxLine) throw DescriptionError("line longer than 4096 bytes");
        for (unsigned char c : line)
            if ((c < 0x20 && c != '\t') || c == 0x7F)
                throw DescriptionError("control character in line");
        const std::string_view content = TrimLeft(line);
        if (content.empty() || content.front() == '#') return;
        const std::size_t blank = content.find(' ');
        const std::string_view word = content.substr(0, blank);
        const std::string_view value =
            blank == std::string_view::npos ? std::string_view() : content.substr(blank + 1);
        if (word == "end") return End(value);
        if (word == "switch") return Open(Part::Switch, value);
        if (word == "port") return Open(Part::Port, value);
        if (word == "node") return Open(Part::Node, value);
        Field(word, value);
    }

    void Finish() const {
        if (part_ != Part::None)
            throw DescriptionError(std::string(PartWord(part_)) + " " + key_ + " has no \"end\"");
    }

    const SiblingDatabaseFile& Database() const { return db_; }

private:
    void Open(Part part, std::string_view key) {
        if (part_ != Part::None)
            throw DescriptionError(std::string(PartWord(part_)) + " " + key_ + " is still open");
        if (key.empty() || key.find_first_of(" \t") != std::string_view::npos)
            throw DescriptionError("a record key must be one word");
        part_ = part;
        key_ = key;
        item_ = CDbItem();
        given_.clear();
        if (part == Part::Switch) item_.SwitchKey() = key_;
        if (part == Part::Node) item_.NodeMac() = key_;
        if (part == Part::Port) {
            const std::size_t slash = key.find('/');
            if (slash == 0 || slash == std::string_view::npos || slash + 1 == key.size() ||
                key.find('/', slash + 1) != std::string_view::npos)
                throw DescriptionError("a port key is <switch key>/<port number>");
            item_.PortSwitch() = key.substr(0, slash);
            item_.PortIndex() = key.substr(slash + 1);
        }
    }

    void Field(std::string_view word, std::string_view value) {
        if (part_ == Part::None)
            throw DescriptionError("\"" + std::string(word) + "\" outside a record");
        const int n = FieldOfWord(word);
        const Range range = PartFields(part_);
        const bool generic = word.starts_with("Field");
        if (n == 0 || (!generic && (n < range.first || n > range.last)))
            throw DescriptionError("unknown " + std::string(PartWord(part_)) + " field \"" +
                                   std::string(word) + "\"");
        if (!given_.insert(n).second)
            throw DescriptionError("field \"" + std::string(word) + "\" given twice");
        if (dbfield::IsWord(n)) item_.SetNumber(n, ParseNumber(value));
        else item_.SetText(n, std::string(value));
    }

    void End(std::string_view rest) {
        if (!rest.empty()) throw DescriptionError("\"end\" takes nothing after it");
        if (part_ == Part::None) throw DescriptionError("\"end\" without a record");
        ObjectMap<CDbItem>& map = part_ == Part::Switch ? db_.SiblingSwitches
                                  : part_ == Part::Port ? db_.SiblingPorts
                                                        : db_.SiblingNodes;
        if (!map.emplace(key_, std::make_unique<CDbItem>(item_)).second)
            throw DescriptionError(std::string(PartWord(part_)) + " " + key_ + " given twice");
        part_ = Part::None;
    }

    SiblingDatabaseFile db_;
    Part part_ = Part::None;
    std::string key_;
    CDbItem item_;
    std::set<int> given_;
};

int Run(int argc, char** argv) {
    if (argc != 3) {
        std::cerr << "usage: ombrix-make <description.txt> <out Ombrix.db>\n";
        return kExitUsage;
    }
    const std::string input = argv[1];
    const std::string output = argv[2];
    std::ifstream in(input, std::ios::binary);
    if (!in) {
        std::cerr << "ombrix-make: cannot open " << input << "\n";
        return kExitBadInput;
    }
    DescriptionReader reader;
    std::string line;
    long number = 0;
    try {
        while (std::getline(in, line)) {
            ++number;
            reader.Line(line);
        }
        if (in.bad()) throw DescriptionError("read error");
        reader.Finish();
    } catch (const DescriptionError& e) {
        std::cerr << input << ":" << number << ": " << e.what() << "\n";
        return kExitBadInput;
    }
    if (!WriteStateFile(output, reader.Database())) {
        std::cerr << "ombrix-make: cannot write " << output << "\n";
        return kExitBadInput;
    }
    const auto& db = reader.Database();
    std::cout << output << ": " << db.SiblingSwitches.size() << " switches, "
              << db.SiblingPorts.size() << " ports, " << db.SiblingNodes.size() << " nodes\n";
    return 0;
}

}  // namespace
}  // namespace tarvell

int main(int argc, char** argv) { return tarvell::Run(argc, argv); }
