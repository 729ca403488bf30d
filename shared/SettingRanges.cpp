#include "shared/SettingRanges.h"

#include <algorithm>

#include "shared/CTarvellDoc.h"

namespace tarvell {

namespace {

// A value shown in a message: its first bytes only; the log sink makes them printable.
constexpr std::size_t kShownBytes = 64;

std::string Shown(std::string_view text) {
    if (text.size() <= kShownBytes) return "\"" + std::string(text) + "\"";
    return "\"" + std::string(text.substr(0, kShownBytes)) + "...\" (" +
           std::to_string(text.size()) + " bytes)";
}

std::string Bounds(const SettingRange& r) {
    return "(" + std::to_string(r.min) + " to " + std::to_string(r.max) + ")";
}

// Replaces a text so that no buffer of the old one is left behind (assignment would keep it).
void Replace(std::string& field, const std::string& with) { std::string(with).swap(field); }

void CheckWord(const SettingRange& r, std::int32_t& value, std::int32_t lastGood,
               std::vector<std::string>& messages) {
    if (value >= r.min && value <= r.max) return;
    const std::int32_t given = value;
    if (r.outside == OutOfRange::Clamp)
        value = static_cast<std::int32_t>(std::clamp<std::int64_t>(value, r.min, r.max));
    else
        value =
            lastGood >= r.min && lastGood <= r.max ? lastGood : static_cast<std::int32_t>(r.min);
    messages.push_back("Setting " + std::string(r.field) + " value " + std::to_string(given) +
                       " is out of range " + Bounds(r) + "; " + std::to_string(value) + " is used");
}

void CheckDecimalText(const SettingRange& r, std::string& value, const std::string& lastGood,
                      std::vector<std::string>& messages) {
    if (TextInRange(r, value)) return;
    const std::string given = Shown(value);
    const std::optional<std::int64_t> number = ParseSettingNumber(value);
    if (number && r.outside == OutOfRange::Clamp)
        Replace(value, std::to_string(std::clamp(*number, r.min, r.max)));
    else Replace(value, TextInRange(r, lastGood) ? lastGood : std::to_string(r.min));
    messages.push_back("Setting " + std::string(r.field) + " value " + given + " is out of range " +
                       Bounds(r) + "; \"" + value + "\" is used");
}

}  // namespace

std::size_t MaxTextOf(std::string_view field) {
    return field == "SmtpServer" ? kMaxSmtpServerText : kMaxSettingText;
}

std::optional<std::int64_t> ParseSettingNumber(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size() && text[i] == ' ') ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '-' || text[i] == '+')) negative = text[i++] == '-';
    const std::size_t start = i;
    std::int64_t value = 0;
    while (i < text.size() && text[i] >= '0' && text[i] <= '9' && i - start < 18)
        value = value * 10 + (text[i++] - '0');
    if (i == start || i != text.size()) return std::nullopt;
    return negative ? -value : value;
}

bool TextInRange(const SettingRange& range, std::string_view text) {
    if (text.empty()) return true;
    const std::optional<std::int64_t> n = ParseSettingNumber(text);
    return n && *n >= range.min && *n <= range.max;
}

std::vector<std::string> ApplySettingRanges(CTarvellDoc& doc, const CTarvellDoc& lastGood) {
    std::vector<std::string> messages;
    // Lengths first, so that a decimal text too long to be a number is refused as a text.
    for (const DocumentField& f : DocumentFields()) {
        if (f.kind != FieldKind::Text) continue;
        std::string& value = f.Text(doc);
        const std::size_t max = MaxTextOf(f.name);
        if (value.size() <= max) continue;
        const std::string& good = f.Text(lastGood);
        const std::string& used = good.size() <= max ? good : std::string();
        messages.push_back("Setting " + std::string(f.name) + " value " + Shown(value) +
                           " is longer than " + std::to_string(max) + " bytes; " + Shown(used) +
                           " is used");
        Replace(value, used);
    }
    for (const SettingRange& r : kSettingRanges) {
        const DocumentField* f = FindDocumentField(r.field);
        if (!f) continue;
        if (f->kind == FieldKind::Word) CheckWord(r, f->Word(doc), f->Word(lastGood), messages);
        else if (f->kind == FieldKind::Text)
            CheckDecimalText(r, f->Text(doc), f->Text(lastGood), messages);
    }
    return messages;
}

}  // namespace tarvell
