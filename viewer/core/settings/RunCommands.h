// The run-command channel's list without its widgets. An entry is
// "<name>;<command>;<parameters>;<user>;<domain>;<password>;" with "|<filters>" after it when
// the command has filters; the service reads the same form back (CScanAlertsRun). The list keeps
// the names in order with two maps by name: the properties string and the filter list.
#pragma once

#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "shared/AlertTarget.h"

namespace tarvell {

struct CommandEntry {
    std::string name;
    std::optional<std::string> properties;  // the text after the name's ";", when there is one
    std::string filters;                    // the text after the last "|"
};
// Splits at the last "|" (no "|": no filters), then the name is the text before the first ";".
CommandEntry ParseCommandEntry(std::string_view entry);
std::string CommandEntryText(const CommandEntry& entry);

// 0 when `text` can be stored in an entry, else the message refusing it: ";" and "|" would move
// the fields or the filter split, and the text must be storable.
unsigned CheckCommandText(std::string_view text);
// The dialog's OK: kCommandInvalid for an empty command, else the check of every field.
unsigned CheckCommandProperties(const CommandProperties& p);

class RunCommandList {
public:
    void Load(const std::vector<std::string>& entries);
    std::vector<std::string> Store() const;

    const std::vector<std::string>& Names() const { return names_; }
    // The row of `name`, ignoring case; -1 when there is none.
    int Find(std::string_view name) const;
    std::optional<std::string> PropertiesOf(const std::string& name) const;
    std::string FiltersOf(const std::string& name) const;
    void SetProperties(const std::string& name, std::string properties);
    // Empty filters forget the name's list.
    void SetFilters(const std::string& name, std::string filters);
    // Drops the row and the name from both maps; false when `row` is out of range.
    bool Remove(int row);

    enum class AddResult { Added, Cancelled, Duplicate, Refused };
    struct AddOutcome {
        AddResult result;
        unsigned message = 0;    // for Refused: the text to show
        bool clearEdit = false;  // the name edit is emptied (after the dialog, OK or Cancel)
    };
    // "Add Command": a duplicate name or a refused one changes nothing; otherwise `dialog` runs
    // for the name and returns its properties string (nullopt: cancelled), and only then is a
    // row appended.
    AddOutcome Add(const std::string& name,
                   const std::function<std::optional<std::string>(const std::string&)>& dialog);

private:
    std::vector<std::string> names_;
    std::map<std::string, std::string> properties_;
    std::map<std::string, std::string> filters_;
};

}  // namespace tarvell
