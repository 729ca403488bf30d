// tarvell-ini: writes or edits a settings file (Tarvell.ini) from readable lines, and prints one
// as the same lines. The demo and the system tests configure the service with it.
// Usage:
//   tarvell-ini <Tarvell.ini> [<lines file> | -]   apply the lines (standard input when "-" or
//                                                  no file is given); a missing settings file
//                                                  is created from the defaults first
//   tarvell-ini --print <Tarvell.ini>              print every field as lines
//
// A line is blank, a comment ("#" as its first non-blank character), or one of:
//   Name=value    a number field takes a decimal 32-bit number (optional "-"); a text field
//                 takes the rest of the line; a list field is emptied and, when the value is
//                 not empty, holds that one entry;
//   Name+=entry   appends one entry to a list field.
// Names are the settings document's field names ("ReportColumns[4]" for the report columns).
// In a value "\n", "\r" and "\t" stand for a line feed, carriage return and tab, and "\\" for
// one backslash; any other backslash stays as it is. Printing writes every backslash doubled,
// so printed lines read back into the same file. Values are UTF-8 and stored in the settings'
// code page. An unknown name, a bad number, "+="
// on a field that is not a list, a control character or a line longer than 4096 bytes is
// reported as "<file>:<line>: <reason>", and then nothing is written. The file is written with
// mode 0640 whether created or replaced: the service reads its own file only when nobody else
// can write it, and refuses a hand-over copy that a group other than the administrators' can.
// Exit status: 0 done, 1 bad lines or a file that could not be read or written, 64 usage.
#include <charconv>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <string_view>

#include "platform/Text.h"
#include "shared/CTarvellDoc.h"
#include "shared/DocumentFields.h"

namespace tarvell {
namespace {

constexpr std::size_t kMaxLine = 4096;
constexpr int kExitBad = 1;
constexpr int kExitUsage = 64;

int Usage() {
    std::cerr << "usage: tarvell-ini <Tarvell.ini> [<lines file> | -]\n"
                 "       tarvell-ini --print <Tarvell.ini>\n";
    return kExitUsage;
}

bool ParseWord(std::string_view text, std::int32_t& out) {
    const char* end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data(), end, out);
    return !text.empty() && ec == std::errc() && ptr == end;
}

bool HasControl(std::string_view text) {
    for (unsigned char c : text)
        if (c < 0x20 && c != '\t') return true;
    return false;
}

std::string Unescape(std::string_view text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\' || i + 1 == text.size()) {
            out += text[i];
            continue;
        }
        switch (text[i + 1]) {
            case 'n':
                out += '\n';
                ++i;
                break;
            case 'r':
                out += '\r';
                ++i;
                break;
            case 't':
                out += '\t';
                ++i;
                break;
            case '\\':
                out += '\\';
                ++i;
                break;
            default: out += '\\'; break;
        }
    }
    return out;
}

std::string Escape(std::string_view text) {
    std::string out;
    for (char c : text) {
        switch (c) {
            case '\n': out += "\\n"; break;
            case '\r': out += "\\r"; break;
            case '\t': out += "\\t"; break;
            case '\\': out += "\\\\"; break;
            default: out += c;
        }
    }
    return out;
}

// Applies one line; an empty result means it was taken, otherwise the reason it was not.
std::string ApplyLine(std::string_view line, CTarvellDoc& doc) {
    if (line.size() > kMaxLine) return "line longer than 4096 bytes";
    if (HasControl(line)) return "control character";
    const std::size_t start = line.find_first_not_of(" \t");
    if (start == std::string_view::npos || line[start] == '#') return {};
    const std::string_view trimmed = line.substr(start);
    const std::size_t eq = trimmed.find('=');
    if (eq == std::string::npos || eq == 0) return "expected Name=value or Name+=entry";
    const bool append = trimmed[eq - 1] == '+';
    const std::string name = Trim(trimmed.substr(0, append ? eq - 1 : eq), " \t");
    const std::string value = Utf8ToCp1252(Unescape(trimmed.substr(eq + 1)));
    const DocumentField* field = FindDocumentField(name);
    if (field == nullptr) return "unknown setting " + name;
    if (append && field->kind != FieldKind::List) return name + " is not a list";
    switch (field->kind) {
        case FieldKind::Word:
            if (!ParseWord(value, field->Word(doc))) return name + " needs a decimal number";
            break;
        case FieldKind::Text: field->Text(doc) = value; break;
        case FieldKind::List:
            if (!append) field->List(doc).clear();
            if (append || !value.empty()) field->List(doc).push_back(value);
            break;
    }
    return {};
}

int Print(const std::string& path) {
    CTarvellDoc doc;
    if (DocResult r = doc.LoadFromFile(path); !r) {
        std::cerr << "tarvell-ini: " << path << " could not be read (" << r.message << ")\n";
        return kExitBad;
    }
    std::cout << "# Version " << Cp1252ToUtf8(doc.Version) << "\n";
    for (const DocumentField& field : DocumentFields()) {
        switch (field.kind) {
            case FieldKind::Word: std::cout << field.name << "=" << field.Word(doc) << "\n"; break;
            case FieldKind::Text:
                std::cout << field.name << "=" << Escape(Cp1252ToUtf8(field.Text(doc))) << "\n";
                break;
            case FieldKind::List:
                std::cout << field.name << "=\n";
                for (const std::string& entry : field.List(doc))
                    std::cout << field.name << "+=" << Escape(Cp1252ToUtf8(entry)) << "\n";
                break;
        }
    }
    return 0;
}

int Edit(const std::string& path, const std::string& linesPath) {
    CTarvellDoc doc;
    doc.SetDefaults();
    std::ifstream probe(path);
    const bool exists = static_cast<bool>(probe);
    probe.close();
    if (exists) {
        if (DocResult r = doc.LoadFromFile(path); !r) {
            std::cerr << "tarvell-ini: " << path << " could not be read (" << r.message
                      << "); nothing written\n";
            return kExitBad;
        }
    }
    std::ifstream file;
    const bool fromStdin = linesPath.empty() || linesPath == "-";
    if (!fromStdin) {
        file.open(linesPath);
        if (!file) {
            std::cerr << "tarvell-ini: " << linesPath << " could not be opened\n";
            return kExitBad;
        }
    }
    std::istream& in = fromStdin ? std::cin : file;
    const std::string shownName = fromStdin ? "<stdin>" : linesPath;
    std::string line;
    int number = 0;
    bool bad = false;
    while (std::getline(in, line)) {
        ++number;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (const std::string why = ApplyLine(line, doc); !why.empty()) {
            std::cerr << shownName << ":" << number << ": " << why << "\n";
            bad = true;
        }
    }
    if (bad) {
        std::cerr << "tarvell-ini: nothing written\n";
        return kExitBad;
    }
    if (DocResult r = doc.SaveToFile(path, true, CTarvellDoc::kFileMode); !r) {
        std::cerr << "tarvell-ini: " << path << " could not be written (" << r.message << ")\n";
        return kExitBad;
    }
    return 0;
}

int Run(int argc, char** argv) {
    if (argc == 3 && std::string_view(argv[1]) == "--print") return Print(argv[2]);
    if (argc < 2 || argc > 3 || std::string_view(argv[1]).starts_with("-")) return Usage();
    return Edit(argv[1], argc == 3 ? argv[2] : "");
}

}  // namespace
}  // namespace tarvell

int main(int argc, char** argv) { return tarvell::Run(argc, argv); }
