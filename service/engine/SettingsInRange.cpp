#include "service/engine/SettingsInRange.h"

#include <malloc.h>

#include "shared/CTarvellDoc.h"
#include "shared/SettingRanges.h"

namespace tarvell {

CTarvellDoc WordsAndTextsOf(const CTarvellDoc& doc) {
    CTarvellDoc out;
    for (const DocumentField& f : DocumentFields()) {
        if (f.kind == FieldKind::Word) f.Word(out) = f.Word(doc);
        else if (f.kind == FieldKind::Text) f.Text(out) = f.Text(doc);
    }
    return out;
}

bool KeepSettingsInRange(CTarvellDoc& doc, const CTarvellDoc& lastGood,
                         const std::function<void(const std::string&)>& log) {
    const std::vector<std::string> messages = ApplySettingRanges(doc, lastGood);
    bool refusedText = false;
    for (const std::string& m : messages) {
        refusedText |= m.find(" is longer than ") != std::string::npos;
        if (log) log(m);
    }
    // A refused text may have been megabytes; the file's bytes and the parsed copies are freed
    // by now, and the heap keeps them unless asked to give them back.
    if (refusedText) ::malloc_trim(0);
    return !messages.empty();
}

}  // namespace tarvell
