// arcdump: prints a settings file, a state file, a daily archive or the sibling database one
// field per line with its name, e.g.
//     EventMap[00AABB000001/3].SourceMac = "001122334401"
//     Row 23 SmtpPort = "25"
// Usage: arcdump [--kind settings|events|alerts|reports|sibling|archive] <file>
// Without --kind the kind comes from the ending of the file name: ".ini" settings, "Ombrix.db"
// sibling, "_AutoArchive.log" archive, ".log" alerts, ".eml" reports, ".db" events.
// Texts are quoted, map keys are not; bytes outside printable ASCII, quotes and backslashes are
// escaped (\xNN; \r, \n, \t, \", \\).
// Exit status: 0 the whole file was read, 2 the file is damaged or unreadable, 64 usage.
#include <cstdio>
#include <iostream>
#include <optional>
#include <sstream>
#include <string>
#include <string_view>

#include "platform/Archive.h"
#include "platform/Files.h"
#include "shared/CTarvellDoc.h"
#include "shared/DocumentFields.h"
#include "shared/StateFiles.h"

namespace tarvell {
namespace {

constexpr int kExitDamaged = 2;
constexpr int kExitUsage = 64;

// The bytes with quote, backslash and everything outside printable ASCII escaped.
std::string Escape(std::string_view bytes) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : bytes) {
        switch (c) {
            case '"': out += "\\\""; break;
            case '\\': out += "\\\\"; break;
            case '\r': out += "\\r"; break;
            case '\n': out += "\\n"; break;
            case '\t': out += "\\t"; break;
            default:
                if (c >= 0x20 && c < 0x7F) {
                    out += static_cast<char>(c);
                } else {
                    out += "\\x";
                    out += kHex[c >> 4];
                    out += kHex[c & 0x0F];
                }
        }
    }
    return out;
}

std::string Quote(std::string_view bytes) { return "\"" + Escape(bytes) + "\""; }

// Walks the bytes of one file in archive order and prints what it reads.
class Dumper {
public:
    Dumper(std::string_view bytes, std::ostream& out) : bytes_(bytes), ar_(bytes), out_(out) {}

    void Text(const std::string& name) { out_ << name << " = " << Quote(ar_.ReadText()) << "\n"; }

    void StringMap(const std::string& name) {
        const std::uint32_t count = ar_.ReadCount();
        out_ << name << ": " << count << " entries\n";
        for (std::uint32_t i = 0; i < count; ++i) {
            const std::string key = ar_.ReadText();
            out_ << name << "[" << Escape(key) << "] = " << Quote(ar_.ReadText()) << "\n";
        }
    }

    template <class T>
    void ObjectMap(const std::string& name) {
        const std::uint32_t count = ar_.ReadCount();
        out_ << name << ": " << count << " entries\n";
        for (std::uint32_t i = 0; i < count; ++i) {
            const std::string key = ar_.ReadText();
            const bool newClass = PeekShort() == 0xFFFF;
            ar_.ReadObjectHeader(T::kClassName, T::kSchema);
            if (newClass) out_ << "Class " << T::kClassName << " schema " << T::kSchema << "\n";
            T item;
            item.Load(ar_);
            const std::string prefix = name + "[" + Escape(key) + "].";
            for (const RecordValue& v : item.Values()) {
                out_ << prefix << v.name << " = ";
                if (v.isWord) out_ << v.word << "\n";
                else out_ << Quote(v.text) << "\n";
            }
        }
    }

    void Settings() {
        const std::string version = ar_.ReadText();
        const auto layout = LayoutForVersion(version);
        out_ << "Row 1 Version = " << Quote(version) << "\n";
        if (!layout) throw ArchiveError("unknown settings version: nothing after it can be read");
        out_ << "Layout " << LayoutName(*layout) << "\n";
        for (const LayoutStep& step : LayoutSteps(*layout)) SettingsStep(step);
    }

    void Finish() {
        if (!ar_.AtEnd()) out_ << "(" << ar_.Remaining() << " bytes after the end, not read)\n";
    }

    std::size_t Position() const { return ar_.Position(); }

private:
    std::uint16_t PeekShort() const {
        const std::size_t at = ar_.Position();
        if (at + 2 > bytes_.size()) return 0;
        return static_cast<std::uint16_t>(static_cast<unsigned char>(bytes_[at]) |
                                          static_cast<unsigned char>(bytes_[at + 1]) << 8);
    }

    static const char* LayoutName(DocumentLayout layout) {
        switch (layout) {
            case DocumentLayout::Current: return "3.3 and later";
            case DocumentLayout::V32: return "3.2/3.1/2.9";
            case DocumentLayout::V28: return "2.8";
        }
        return "?";
    }

    void SettingsStep(const LayoutStep& step) {
        if (!step.field) {
            out_ << "Legacy " << step.legacyName << " = " << ar_.ReadWord() << "\n";
            return;
        }
        const DocumentField& f = *step.field;
        const std::string label = "Row " + std::to_string(f.row) + " " + f.name;
        switch (f.kind) {
            case FieldKind::Word: out_ << label << " = " << ar_.ReadWord() << "\n"; break;
            case FieldKind::Text: out_ << label << " = " << Quote(ar_.ReadText()) << "\n"; break;
            case FieldKind::List: {
                const std::uint32_t count = ar_.ReadCount();
                out_ << label << ": " << count << " entries\n";
                for (std::uint32_t i = 0; i < count; ++i)
                    out_ << label << "[" << i << "] = " << Quote(ar_.ReadText()) << "\n";
                break;
            }
        }
    }

    std::string_view bytes_;
    ArchiveReader ar_;
    std::ostream& out_;
};

// The content of each kind of file, in archive order.
void DumpContent(StoredFileKind kind, Dumper& d) {
    switch (kind) {
        case StoredFileKind::Settings: d.Settings(); break;
        case StoredFileKind::Events:
            d.Text("SwitchCount");
            d.Text("NodeCount");
            d.StringMap("DeviceTable");
            d.StringMap("PortNames");
            d.ObjectMap<CEventItem>("EventMap");
            break;
        case StoredFileKind::Alerts: d.ObjectMap<CAlertItem>("AlertLog"); break;
        case StoredFileKind::Archive: d.ObjectMap<CAlertItem>("Archive"); break;
        case StoredFileKind::Reports:
            d.ObjectMap<CAlertItem>("ReportStore");
            d.Text("LastDailyReport");
            d.Text("LastWeeklyReport");
            break;
        case StoredFileKind::Sibling:
            d.ObjectMap<CDbItem>("SiblingSwitches");
            d.ObjectMap<CDbItem>("SiblingPorts");
            d.ObjectMap<CDbItem>("SiblingNodes");
            break;
    }
}

// The shared loaders decide whether a file is whole; the dump only shows it.
bool DecodeWithSharedCode(StoredFileKind kind, std::string_view bytes, std::string& error) {
    switch (kind) {
        case StoredFileKind::Settings: {
            CTarvellDoc doc;
            DocResult r = CTarvellDoc::LoadFromBytes(bytes, doc);
            error = r.message;
            return static_cast<bool>(r);
        }
        case StoredFileKind::Events: {
            EventDatabaseFile f;
            return DecodeStateFile(bytes, f, &error);
        }
        case StoredFileKind::Alerts:
        case StoredFileKind::Archive: {
            AlertLogFile f;
            return DecodeStateFile(bytes, f, &error);
        }
        case StoredFileKind::Reports: {
            ReportStoreFile f;
            return DecodeStateFile(bytes, f, &error);
        }
        case StoredFileKind::Sibling: {
            SiblingDatabaseFile f;
            return DecodeStateFile(bytes, f, &error);
        }
    }
    return false;
}

int Usage() {
    std::cerr << "usage: arcdump [--kind settings|events|alerts|reports|sibling|archive] <file>\n";
    return kExitUsage;
}

int Run(int argc, char** argv) {
    std::optional<StoredFileKind> kind;
    std::string path;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "--kind" && i + 1 < argc) {
            kind = StoredFileKindFromWord(argv[++i]);
            if (!kind) return Usage();
        } else if (arg.starts_with("--") || !path.empty()) {
            return Usage();
        } else {
            path = arg;
        }
    }
    if (path.empty()) return Usage();
    if (!kind) kind = StoredFileKindFromName(path);
    if (!kind) {
        std::cerr << "arcdump: " << path
                  << ": cannot tell the kind of file from its name; use --kind\n";
        return kExitUsage;
    }
    std::string bytes;
    std::string error;
    if (!ReadStateFileBytes(path, bytes, &error)) {
        std::cerr << "arcdump: " << error << "\n";
        return kExitDamaged;
    }
    std::cout << "File " << Quote(path) << ": " << StoredFileKindName(*kind) << ", " << bytes.size()
              << " bytes\n";
    const bool whole = DecodeWithSharedCode(*kind, bytes, error);
    Dumper dumper(bytes, std::cout);
    try {
        DumpContent(*kind, dumper);
        dumper.Finish();
    } catch (const std::exception& e) {
        std::cout.flush();
        std::cerr << "arcdump: " << path << ": damaged at byte " << dumper.Position() << ": "
                  << e.what() << "\n";
        return kExitDamaged;
    }
    if (!whole) {
        std::cerr << "arcdump: " << path << ": " << error << "\n";
        return kExitDamaged;
    }
    return 0;
}

}  // namespace
}  // namespace tarvell

int main(int argc, char** argv) { return tarvell::Run(argc, argv); }
