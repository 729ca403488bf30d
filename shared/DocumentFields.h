// The settings document's field table: one row per stored field, in the order of the current
// file layout. Storing, loading, defaults, the older layouts and the dump tool all walk it, so
// the order exists only here.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace tarvell {

class CTarvellDoc;

inline constexpr std::string_view kCurrentDocumentVersion = "3.6";

enum class FieldKind : std::uint8_t { Word, Text, List };

struct DocumentField {
    int row;           // 2..172; row 1 is the version text in front of them
    const char* name;  // member name; "ReportColumns[4]" for the report column words
    FieldKind kind;
    std::int32_t CTarvellDoc::*word;
    std::string CTarvellDoc::*text;
    std::vector<std::string> CTarvellDoc::*list;
    int column;  // index into ReportColumns, or -1
    std::int32_t defaultWord;
    const char* defaultText;  // nullptr: empty

    std::int32_t& Word(CTarvellDoc& doc) const;
    std::int32_t Word(const CTarvellDoc& doc) const;
    std::string& Text(CTarvellDoc& doc) const;
    const std::string& Text(const CTarvellDoc& doc) const;
    std::vector<std::string>& List(CTarvellDoc& doc) const;
    const std::vector<std::string>& List(const CTarvellDoc& doc) const;
};

inline constexpr int kFirstDocumentRow = 2;
inline constexpr int kLastDocumentRow = 172;

// All 171 rows in file order.
std::span<const DocumentField> DocumentFields();
const DocumentField* FindDocumentField(int row);
const DocumentField* FindDocumentField(std::string_view name);

// The layouts a file may have, chosen by its version text.
enum class DocumentLayout {
    Current,  // 3.3 and every later number: rows 2..172
    V32,      // exactly 3.2, 3.1 or 2.9: without row 102 and row 109
    V28,      // exactly 2.8: as V32, two legacy words after row 22, no row 29, a legacy word
              // in the place of row 102
};

// One value of a layout: a table row, or a legacy word that only the oldest layout carries.
struct LayoutStep {
    const DocumentField* field;         // nullptr for a legacy word
    std::int32_t CTarvellDoc::*legacy;  // set for a legacy word
    const char* legacyName;
};

std::span<const LayoutStep> LayoutSteps(DocumentLayout layout);

// The layout of a version text, read by its leading decimal digits and point (never through
// the locale). nullopt for an empty or non-numeric text and for numbers below 3.3 that are
// none of 3.2, 3.1, 2.9 and 2.8: such a file cannot be read.
std::optional<DocumentLayout> LayoutForVersion(std::string_view version);

}  // namespace tarvell
