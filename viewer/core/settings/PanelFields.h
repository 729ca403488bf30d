// The document side of a settings panel made of check boxes and spins: each control is one
// number field of the settings. A check box is stored as 1 when ticked, else 0; a spin shows the
// stored value clamped to its range and stores what it shows.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

#include "shared/CTarvellDoc.h"
#include "viewer/core/settings/SettingsRules.h"

namespace tarvell {

struct PanelField {
    std::string_view label;
    std::int32_t CTarvellDoc::*field;
    // A check box is 0..1; a spin has its own range.
    std::int32_t low = 0;
    std::int32_t high = 1;
    bool IsCheck() const { return low == 0 && high == 1; }
};

// `stored` within low..high (a check box: 1 for any value but 0).
std::int32_t ClampToField(const PanelField& field, std::int64_t stored);

class FieldsPanel : public SettingsPanel {
public:
    explicit FieldsPanel(std::span<const PanelField> fields);

    void Load(const CTarvellDoc& doc) override;
    void Store(CTarvellDoc& doc) const override;

    std::span<const PanelField> Fields() const { return fields_; }
    std::int32_t Value(std::size_t index) const { return values_.at(index); }
    // Clamped as on load.
    void SetValue(std::size_t index, std::int64_t value);

private:
    std::span<const PanelField> fields_;
    std::vector<std::int32_t> values_;
};

// The controls of the three panels, top to bottom.
std::span<const PanelField> DevicesPanelFields();
std::span<const PanelField> NodesPanelFields();
std::span<const PanelField> SnmpPanelFields();

}  // namespace tarvell
