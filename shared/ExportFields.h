// The nine fields of each exported collection, by position: the service's page titles and
// table columns, and the names the viewer's field pages store in the settings' column lists.
#pragma once

#include <array>
#include <cstddef>

namespace tarvell {

inline constexpr std::size_t kExportFields = 9;

const std::array<const char*, kExportFields>& EventExportFields();
const std::array<const char*, kExportFields>& AlertExportFields();

}  // namespace tarvell
