// Owning string-keyed map of records (the class library's map of objects): removing or replacing
// an entry deletes its record. Serialised as a count, then per entry the key text and the record
// behind its class tag.
#pragma once

#include <map>
#include <memory>
#include <string>

#include "platform/Archive.h"

namespace tarvell {

template <class T>
using ObjectMap = std::map<std::string, std::unique_ptr<T>>;

// T provides: static constexpr const char* kClassName; static constexpr uint16_t kSchema;
// void Store(ArchiveWriter&) const; void Load(ArchiveReader&).
template <class T>
void StoreObjectMap(ArchiveWriter& ar, const ObjectMap<T>& map) {
    ar.WriteCount(map.size());
    for (const auto& [key, item] : map) {
        ar.WriteText(key);
        ar.WriteObjectHeader(T::kClassName, T::kSchema);
        item->Store(ar);
    }
}

// Reads into a fresh map; the caller swaps it in only when the whole file was read.
// No allocation is sized by the stored count. At most `keep` distinct keys are kept (the first
// ones in the file); later records are still read and checked, then dropped, and counted in
// `dropped` when given.
template <class T>
ObjectMap<T> LoadObjectMap(ArchiveReader& ar, std::size_t keep = static_cast<std::size_t>(-1),
                           std::size_t* dropped = nullptr) {
    ObjectMap<T> map;
    const std::uint32_t count = ar.ReadCount();
    for (std::uint32_t i = 0; i < count; ++i) {
        std::string key = ar.ReadText();
        ar.ReadObjectHeader(T::kClassName, T::kSchema);
        auto item = std::make_unique<T>();
        item->Load(ar);
        if (map.size() >= keep && map.find(key) == map.end()) {
            if (dropped) ++*dropped;
            continue;
        }
        map[std::move(key)] = std::move(item);
    }
    return map;
}

template <class T>
ObjectMap<T> CloneObjectMap(const ObjectMap<T>& map) {
    ObjectMap<T> copy;
    for (const auto& [key, item] : map) copy.emplace(key, std::make_unique<T>(*item));
    return copy;
}

}  // namespace tarvell
