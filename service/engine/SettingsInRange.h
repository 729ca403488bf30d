// The range check of the settings the service loads, at start and at each hand-over: every field
// of the shared range table (shared/SettingRanges.h) is brought into range with one log line,
// and the caller saves the corrected document, so the settings file holds what is in force.
#pragma once

#include <functional>
#include <string>

namespace tarvell {

class CTarvellDoc;

// The words and texts of `doc` (no lists): the last good values a check falls back on, cheap to
// keep across a reload.
CTarvellDoc WordsAndTextsOf(const CTarvellDoc& doc);

// Applies the ranges to `doc`; each correction goes to `log`. True when a field was changed.
// Memory of a refused text is given back to the system at once.
bool KeepSettingsInRange(CTarvellDoc& doc, const CTarvellDoc& lastGood,
                         const std::function<void(const std::string&)>& log);

}  // namespace tarvell
