#include "viewer/core/settings/RunCommands.h"

#include <algorithm>

#include "platform/Text.h"
#include "shared/AlertTarget.h"
#include "viewer/core/settings/SettingsRules.h"
#include "viewer/core/base/StringTable.h"

namespace tarvell {

CommandEntry ParseCommandEntry(std::string_view entry) {
    CommandEntry out;
    TargetEntry split = SplitTargetEntry(entry, true);
    out.filters = std::move(split.filters);
    const std::string_view command = split.target;
    const std::size_t semi = command.find(';');
    out.name = std::string(command.substr(0, semi));
    if (semi != std::string_view::npos) out.properties = std::string(command.substr(semi + 1));
    return out;
}

std::string CommandEntryText(const CommandEntry& entry) {
    std::string text = entry.name;
    if (entry.properties) text += ";" + *entry.properties;
    return JoinTargetEntry({std::move(text), entry.filters});
}

unsigned CheckCommandText(std::string_view text) {
    if (text.find_first_of(";|") != std::string_view::npos) return str::kCommandSeparator;
    return CheckStorable({text});
}

unsigned CheckCommandProperties(const CommandProperties& p) {
    if (p.command.empty()) return str::kCommandInvalid;
    for (const std::string* field : {&p.command, &p.parameters, &p.user, &p.domain, &p.password})
        if (const unsigned message = CheckCommandText(*field)) return message;
    return 0;
}

// ---- RunCommandList

void RunCommandList::Load(const std::vector<std::string>& entries) {
    names_.clear();
    properties_.clear();
    filters_.clear();
    for (const std::string& text : entries) {
        CommandEntry entry = ParseCommandEntry(text);
        names_.push_back(entry.name);
        if (entry.properties) properties_[entry.name] = std::move(*entry.properties);
        if (!entry.filters.empty()) filters_[entry.name] = std::move(entry.filters);
    }
}

std::vector<std::string> RunCommandList::Store() const {
    std::vector<std::string> entries;
    entries.reserve(names_.size());
    for (const std::string& name : names_)
        entries.push_back(CommandEntryText({name, PropertiesOf(name), FiltersOf(name)}));
    return entries;
}

int RunCommandList::Find(std::string_view name) const {
    const std::string wanted = ToLowerAscii(std::string(name));
    for (std::size_t i = 0; i < names_.size(); ++i)
        if (ToLowerAscii(names_[i]) == wanted) return static_cast<int>(i);
    return -1;
}

std::optional<std::string> RunCommandList::PropertiesOf(const std::string& name) const {
    const auto found = properties_.find(name);
    if (found == properties_.end()) return std::nullopt;
    return found->second;
}

std::string RunCommandList::FiltersOf(const std::string& name) const {
    const auto found = filters_.find(name);
    return found == filters_.end() ? std::string() : found->second;
}

void RunCommandList::SetProperties(const std::string& name, std::string properties) {
    properties_[name] = std::move(properties);
}

void RunCommandList::SetFilters(const std::string& name, std::string filters) {
    if (filters.empty()) filters_.erase(name);
    else filters_[name] = std::move(filters);
}

bool RunCommandList::Remove(int row) {
    if (row < 0 || row >= static_cast<int>(names_.size())) return false;
    const std::string name = names_[static_cast<std::size_t>(row)];
    properties_.erase(name);
    filters_.erase(name);
    names_.erase(names_.begin() + row);
    return true;
}

RunCommandList::AddOutcome RunCommandList::Add(
    const std::string& name,
    const std::function<std::optional<std::string>(const std::string&)>& dialog) {
    if (Find(name) >= 0) return {AddResult::Duplicate};
    if (const unsigned message = CheckCommandText(name)) return {AddResult::Refused, message};
    std::optional<std::string> properties = dialog(name);
    if (!properties) return {AddResult::Cancelled, 0, true};
    names_.push_back(name);
    properties_[name] = std::move(*properties);
    return {AddResult::Added, 0, true};
}

}  // namespace tarvell
