// A record and a file shaped like the system's state files, for the archive tests and the
// archive fuzz targets: texts, a string map, a string list and two object maps of one class.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Archive.h"
#include "platform/ObjectMap.h"

namespace tarvell::archivetest {

struct ProbeItem {
    static constexpr const char* kClassName = "CProbeItem";
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
    bool operator==(const ProbeItem&) const = default;
};

struct SampleFile {
    std::string first;
    std::map<std::string, std::string> table;
    std::vector<std::string> list;
    ObjectMap<ProbeItem> items;
    ObjectMap<ProbeItem> more;
};

inline void WriteSample(ArchiveWriter& w, const SampleFile& f) {
    w.WriteText(f.first);
    w.WriteStringMap(f.table);
    w.WriteStringList(f.list);
    StoreObjectMap(w, f.items);
    StoreObjectMap(w, f.more);
}

inline SampleFile ReadSample(ArchiveReader& r) {
    SampleFile f;
    f.first = r.ReadText();
    f.table = r.ReadStringMap();
    f.list = r.ReadStringList();
    f.items = LoadObjectMap<ProbeItem>(r);
    f.more = LoadObjectMap<ProbeItem>(r);
    return f;
}

inline std::string StoreSample(const SampleFile& f) {
    ArchiveWriter w;
    WriteSample(w, f);
    return w.TakeBytes();
}

inline SampleFile LoadSample(std::string_view bytes) {
    ArchiveReader r(bytes);
    return ReadSample(r);
}

}  // namespace tarvell::archivetest
