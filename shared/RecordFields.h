// Field tables of the archived records: one entry per field in archive order, so that storing,
// loading and the dump tool walk the same list.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "platform/Archive.h"

namespace tarvell {

// One archived field of record class T: either a 32-bit word or a text.
template <class T>
struct RecordField {
    const char* name;
    std::int32_t T::*word = nullptr;
    std::string T::*text = nullptr;
};

// A field's name and value as the dump tool and the tests see it.
struct RecordValue {
    std::string name;
    bool isWord = false;
    std::int32_t word = 0;
    std::string text;
};

template <class T>
void StoreRecordFields(ArchiveWriter& ar, const T& item, std::span<const RecordField<T>> fields) {
    for (const auto& f : fields) {
        if (f.word) ar.WriteWord(item.*f.word);
        else ar.WriteText(item.*f.text);
    }
}

template <class T>
void LoadRecordFields(ArchiveReader& ar, T& item, std::span<const RecordField<T>> fields) {
    for (const auto& f : fields) {
        if (f.word) item.*f.word = ar.ReadWord();
        else item.*f.text = ar.ReadText();
    }
}

template <class T>
std::vector<RecordValue> RecordValues(const T& item, std::span<const RecordField<T>> fields) {
    std::vector<RecordValue> values;
    values.reserve(fields.size());
    for (const auto& f : fields) {
        if (f.word) values.push_back({f.name, true, item.*f.word, {}});
        else values.push_back({f.name, false, 0, item.*f.text});
    }
    return values;
}

}  // namespace tarvell
