// libFuzzer target for the archive reader: any input is read as a state-file-shaped archive.
// Refusal must be ArchiveError; what is accepted is written again and must read back the same.
// Built and run by tests/fuzz/run (not part of the CMake build).
#include "platform/Archive.h"
#include "platform/ObjectMap.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

namespace {

using namespace tarvell;

struct FuzzItem {
    static constexpr const char* kClassName = "CFuzzItem";
    static constexpr std::uint16_t kSchema = 1;
    std::int32_t number = 0;
    std::string name;
    std::string note;

    void Store(ArchiveWriter& ar) const {
        ar.WriteWord(number);
        ar.WriteText(name);
        ar.WriteText(note);
    }
    void Load(ArchiveReader& ar) {
        number = ar.ReadWord();
        name = ar.ReadText();
        note = ar.ReadText();
    }
};

struct FuzzFile {
    std::string first;
    std::map<std::string, std::string> table;
    std::vector<std::string> list;
    ObjectMap<FuzzItem> items;
};

std::string StoreFile(const FuzzFile& f) {
    ArchiveWriter w;
    w.WriteText(f.first);
    w.WriteStringMap(f.table);
    w.WriteStringList(f.list);
    StoreObjectMap(w, f.items);
    w.WriteObjectHeader("CFuzzOther", 2);
    return w.TakeBytes();
}

FuzzFile LoadFile(std::string_view bytes) {
    ArchiveReader r(bytes);
    FuzzFile f;
    f.first = r.ReadText();
    f.table = r.ReadStringMap();
    f.list = r.ReadStringList();
    f.items = LoadObjectMap<FuzzItem>(r);
    r.ReadObjectHeader("CFuzzOther", 2);
    return f;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    std::string stored;
    try {
        stored = StoreFile(LoadFile(input));
    } catch (const ArchiveError&) {
        return 0;
    } catch (...) {
        std::abort();   // any other failure is a fault of the reader
    }
    if (StoreFile(LoadFile(stored)) != stored) std::abort();
    return 0;
}
