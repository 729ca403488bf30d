#include "platform/Registry.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <unordered_set>

#include "platform/Files.h"
#include "platform/Paths.h"
#include "platform/Text.h"
#include "platform/ErrnoText.h"
#include "platform/UniqueFd.h"

namespace tarvell {

// ---------------------------------------------------------------------------------------------
// The tree of one hive.

struct RegNode {
    std::string name;
    std::vector<std::unique_ptr<RegNode>> children;
    std::vector<RegValue> values;
};

namespace {

constexpr std::size_t kMaxHiveFile = 64u * 1024u * 1024u;
constexpr std::string_view kHeader = "tarvell-registry 1";
constexpr std::string_view kTrailer = "end";

// Orders every registry call of the process; the lock files order the processes.
std::mutex gRegistryMutex;

RegNode* FindChild(RegNode& node, std::string_view name) {
    for (auto& child : node.children) {
        if (EqualsNoCase(child->name, name)) return child.get();
    }
    return nullptr;
}

RegValue* FindValue(RegNode& node, std::string_view name) {
    for (auto& value : node.values) {
        if (EqualsNoCase(value.name, name)) return &value;
    }
    return nullptr;
}

bool ValidKeyName(std::string_view name) {
    return !name.empty() && name.size() <= kRegMaxKeyName &&
           name.find('\0') == std::string_view::npos && name.find('\\') == std::string_view::npos;
}

bool ValidValueName(std::string_view name) {
    return name.size() <= kRegMaxValueName && name.find('\0') == std::string_view::npos;
}

// Splits a key path at "\". Every part must be a valid key name; "" is the hive itself.
RegResult SplitKeyPath(std::string_view path, std::vector<std::string>* parts) {
    parts->clear();
    if (path.empty()) return kRegSuccess;
    std::size_t start = 0;
    for (;;) {
        const std::size_t end = path.find('\\', start);
        const std::string_view part = path.substr(
            start, end == std::string_view::npos ? std::string_view::npos : end - start);
        if (!ValidKeyName(part) || parts->size() >= kRegMaxDepth) return kRegInvalidParameter;
        parts->emplace_back(part);
        if (end == std::string_view::npos) return kRegSuccess;
        start = end + 1;
    }
}

RegNode* Resolve(RegNode& root, const std::vector<std::string>& path) {
    RegNode* node = &root;
    for (const auto& part : path) {
        node = FindChild(*node, part);
        if (node == nullptr) return nullptr;
    }
    return node;
}

RegResult ErrnoResult(int error) {
    return (error == EACCES || error == EPERM || error == EROFS) ? kRegAccessDenied : kRegIoFailed;
}

// ---------------------------------------------------------------------------------------------
// The hive file: a header line, then the tree depth first, then a trailer line.
//   K <depth> "<key name>"         a key below the last key of depth-1 (depth 1: the hive)
//   S "<value name>" "<bytes>"     a string value of the last key (before any K: of the hive)
//   D "<value name>" <decimal>     a DWORD value
// Quoted texts hold the printable ASCII characters except '"' and '\' as they are; every other
// byte is written as \xHH, and '"' and '\' as \" and \\.

void AppendQuoted(std::string& out, std::string_view bytes) {
    static const char kHex[] = "0123456789abcdef";
    out += '"';
    for (char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (b >= 0x20 && b < 0x7F) {
            out += c;
        } else {
            out += "\\x";
            out += kHex[b >> 4];
            out += kHex[b & 0x0F];
        }
    }
    out += '"';
}

void AppendValues(std::string& out, const RegNode& node) {
    for (const auto& value : node.values) {
        if (value.type == RegType::Dword) {
            out += "D ";
            AppendQuoted(out, value.name);
            out += ' ';
            out += std::to_string(value.dword);
        } else {
            out += "S ";
            AppendQuoted(out, value.name);
            out += ' ';
            AppendQuoted(out, value.text);
        }
        out += '\n';
    }
}

void AppendKey(std::string& out, const RegNode& node, std::size_t depth) {
    out += "K " + std::to_string(depth) + ' ';
    AppendQuoted(out, node.name);
    out += '\n';
    AppendValues(out, node);
    for (const auto& child : node.children) AppendKey(out, *child, depth + 1);
}

std::string SerializeHive(const RegNode& root) {
    std::string out(kHeader);
    out += '\n';
    AppendValues(out, root);
    for (const auto& child : root.children) AppendKey(out, *child, 1);
    out += kTrailer;
    out += '\n';
    return out;
}

// A strict reader of the hive file: any deviation from what SerializeHive writes is an error.
class HiveParser {
public:
    explicit HiveParser(std::string_view text) : text_(text) {}

    // Fills root; false with a reason when the file is damaged.
    bool Parse(RegNode& root, std::string& reason);

private:
    bool Fail(const std::string& what) {
        error_ = "line " + std::to_string(line_) + ": " + what;
        return false;
    }
    bool NextLine(std::string_view& line);
    bool ParseKeyLine(std::string_view rest);
    bool ParseValueLine(std::string_view rest, bool isDword);
    bool ReadQuoted(std::string_view& in, std::string& out);
    static bool ReadNumber(std::string_view digits, std::uint64_t max, std::uint64_t& out);

    std::string_view text_;
    std::size_t pos_ = 0;
    std::size_t line_ = 0;
    std::string error_;
    // The open keys, hive first, and the lower-case names seen below each; a key leaves the
    // stack for good, so these sets cover every name a key can still receive.
    std::vector<RegNode*> stack_;
    std::vector<std::unordered_set<std::string>> childNames_;
    std::unordered_set<std::string> valueNames_;
};

bool HiveParser::NextLine(std::string_view& line) {
    if (pos_ >= text_.size()) return false;
    const std::size_t end = text_.find('\n', pos_);
    if (end == std::string_view::npos) return false;  // a line without its end: cut short
    line = text_.substr(pos_, end - pos_);
    pos_ = end + 1;
    ++line_;
    return true;
}

bool HiveParser::Parse(RegNode& root, std::string& reason) {
    stack_ = {&root};
    childNames_.assign(1, {});
    std::string_view line;
    bool ok = NextLine(line) && line == kHeader;
    if (!ok) Fail("not a registry hive");
    bool ended = false;
    while (ok && !ended) {
        if (!NextLine(line)) {
            ok = Fail("the file ends early");
        } else if (line == kTrailer) {
            ended = true;
            if (pos_ != text_.size()) ok = Fail("data after the end");
        } else if (line.substr(0, 2) == "K ") {
            ok = ParseKeyLine(line.substr(2));
        } else if (line.substr(0, 2) == "S " || line.substr(0, 2) == "D ") {
            ok = ParseValueLine(line.substr(2), line[0] == 'D');
        } else {
            ok = Fail("unknown line");
        }
    }
    reason = error_;
    return ok;
}

bool HiveParser::ReadNumber(std::string_view digits, std::uint64_t max, std::uint64_t& out) {
    if (digits.empty() || digits.size() > 10 || (digits.size() > 1 && digits[0] == '0')) {
        return false;
    }
    out = 0;
    for (char c : digits) {
        if (c < '0' || c > '9') return false;
        out = out * 10 + static_cast<std::uint64_t>(c - '0');
    }
    return out <= max;
}

bool HiveParser::ReadQuoted(std::string_view& in, std::string& out) {
    out.clear();
    if (in.empty() || in[0] != '"') return false;
    std::size_t i = 1;
    for (; i < in.size() && in[i] != '"'; ++i) {
        const auto b = static_cast<unsigned char>(in[i]);
        if (b < 0x20 || b >= 0x7F) return false;
        if (in[i] != '\\') {
            out += in[i];
            continue;
        }
        if (++i >= in.size()) return false;
        if (in[i] == '\\' || in[i] == '"') {
            out += in[i];
        } else if (in[i] == 'x' && i + 2 < in.size() && HexDigit(in[i + 1]) >= 0 &&
                   HexDigit(in[i + 2]) >= 0) {
            out += static_cast<char>(HexDigit(in[i + 1]) * 16 + HexDigit(in[i + 2]));
            i += 2;
        } else {
            return false;
        }
    }
    if (i >= in.size()) return false;
    in.remove_prefix(i + 1);
    return true;
}

bool HiveParser::ParseKeyLine(std::string_view rest) {
    const std::size_t blank = rest.find(' ');
    std::uint64_t depth = 0;
    if (blank == std::string_view::npos ||
        !ReadNumber(rest.substr(0, blank), kRegMaxDepth, depth) || depth == 0) {
        return Fail("bad key depth");
    }
    if (depth > stack_.size()) return Fail("key below a missing parent");
    rest.remove_prefix(blank + 1);
    auto node = std::make_unique<RegNode>();
    if (!ReadQuoted(rest, node->name) || !rest.empty()) return Fail("bad key name");
    if (!ValidKeyName(node->name)) return Fail("invalid key name");
    stack_.resize(depth);
    childNames_.resize(depth);
    if (!childNames_.back().insert(ToLowerAscii(node->name)).second) {
        return Fail("duplicate key " + node->name);
    }
    RegNode* raw = node.get();
    stack_.back()->children.push_back(std::move(node));
    stack_.push_back(raw);
    childNames_.emplace_back();
    valueNames_.clear();
    return true;
}

bool HiveParser::ParseValueLine(std::string_view rest, bool isDword) {
    RegValue value;
    if (!ReadQuoted(rest, value.name) || rest.empty() || rest[0] != ' ') {
        return Fail("bad value name");
    }
    rest.remove_prefix(1);
    if (!ValidValueName(value.name)) return Fail("invalid value name");
    if (isDword) {
        std::uint64_t number = 0;
        if (!ReadNumber(rest, 0xFFFFFFFFu, number)) return Fail("bad DWORD");
        value.type = RegType::Dword;
        value.dword = static_cast<std::uint32_t>(number);
    } else {
        if (!ReadQuoted(rest, value.text) || !rest.empty()) return Fail("bad string data");
        if (value.text.size() > kRegMaxData) return Fail("string data too long");
    }
    if (!valueNames_.insert(ToLowerAscii(value.name)).second) return Fail("duplicate value");
    stack_.back()->values.push_back(std::move(value));
    return true;
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// One hive: its file, its lock file and the tree last read from or written to the file.
// Every member function runs with gRegistryMutex held.

class HiveStore {
public:
    HiveStore(std::string folder, Hive hive, bool personal,
              std::shared_ptr<RegDamageReporter> reporter)
        : folder_(std::move(folder)),
          file_(JoinPath(folder_, std::string(HiveName(hive)) + ".reg")),
          lockFile_(file_ + ".lock"),
          fileMode_(personal ? 0600 : 0644),
          folderMode_(personal ? 0700 : 0755),
          reporter_(std::move(reporter)) {}
    HiveStore(const HiveStore&) = delete;
    HiveStore& operator=(const HiveStore&) = delete;

    const std::string& File() const { return file_; }

    template <typename Reader>
    RegResult Read(Reader&& reader) {
        const RegResult r = Refresh(false);
        return r != kRegSuccess ? r : reader(root_);
    }

    // The changer returns a result and sets `changed` when it altered the tree; the hive is
    // then written. A failed write drops the tree so that the next call rereads the file.
    template <typename Changer>
    RegResult Change(Changer&& changer) {
        FileLock lock;
        RegResult r = LockForChange(lock);
        if (r == kRegSuccess) r = Refresh(true);
        if (r != kRegSuccess) return r;
        bool changed = false;
        r = changer(root_, changed);
        if (r != kRegSuccess || !changed) return r;
        return Save();
    }

private:
    RegResult LockForChange(FileLock& lock);
    RegResult Refresh(bool lockHeld);
    bool UpToDate(const struct stat& named) const;
    RegResult Load(bool lockHeld);
    RegResult Damaged(const struct stat& damaged, const std::string& reason, bool lockHeld);
    RegResult Save();
    void Report(const std::string& message) const;
    void ForgetFile();
    void HoldFile(UniqueFd fd);

    const std::string folder_;
    const std::string file_;
    const std::string lockFile_;
    const unsigned fileMode_;
    const unsigned folderMode_;
    std::shared_ptr<RegDamageReporter> reporter_;

    RegNode root_;
    bool loaded_ = false;
    // The file the tree came from, kept open: while it is held its inode cannot be reused, so
    // a different inode at the name means another writer replaced the file.
    UniqueFd heldFd_;
    struct stat held_ {};
};

void HiveStore::ForgetFile() { heldFd_.Reset(); }

void HiveStore::HoldFile(UniqueFd fd) {
    ForgetFile();
    if (fd.Valid() && ::fstat(fd.Get(), &held_) == 0) heldFd_ = std::move(fd);
}

void HiveStore::Report(const std::string& message) const {
    if (reporter_ && *reporter_) {
        (*reporter_)(message);
    } else {
        std::fprintf(stderr, "%s\n", message.c_str());
    }
}

RegResult HiveStore::LockForChange(FileLock& lock) {
    if (!MakeDirectories(folder_, folderMode_)) return ErrnoResult(errno == 0 ? EACCES : errno);
    if (!lock.Lock(lockFile_, FileLock::Mode::Exclusive, true, fileMode_)) {
        return ErrnoResult(errno);
    }
    return kRegSuccess;
}

bool HiveStore::UpToDate(const struct stat& named) const {
    struct stat now {};
    return loaded_ && heldFd_.Valid() && ::fstat(heldFd_.Get(), &now) == 0 &&
           now.st_dev == named.st_dev && now.st_ino == named.st_ino &&
           now.st_size == held_.st_size && now.st_mtim.tv_sec == held_.st_mtim.tv_sec &&
           now.st_mtim.tv_nsec == held_.st_mtim.tv_nsec;
}

RegResult HiveStore::Refresh(bool lockHeld) {
    struct stat named {};
    if (::stat(file_.c_str(), &named) != 0) {
        if (errno != ENOENT) return ErrnoResult(errno);
        root_ = RegNode{};  // no file yet: an empty hive
        ForgetFile();
        loaded_ = true;
        return kRegSuccess;
    }
    if (UpToDate(named)) return kRegSuccess;
    return Load(lockHeld);
}

RegResult HiveStore::Load(bool lockHeld) {
    loaded_ = false;
    ForgetFile();
    struct stat st {};
    UniqueFd fd(OpenFileForReading(file_, kMaxHiveFile, FollowLink::Yes, &st));
    if (!fd.Valid()) {
        if (IsRefusedFileError(errno)) {
            return Damaged(st, "not a regular file of a sensible size", lockHeld);
        }
        if (errno != ENOENT) return ErrnoResult(errno);
        root_ = RegNode{};
        loaded_ = true;
        return kRegSuccess;
    }
    std::string text;
    text.resize(static_cast<std::size_t>(st.st_size));
    std::size_t got = 0;
    while (got < text.size()) {
        const ssize_t n =
            ::pread(fd.Get(), text.data() + got, text.size() - got, static_cast<off_t>(got));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        got += static_cast<std::size_t>(n);
    }
    if (got != text.size()) return kRegIoFailed;
    RegNode root;
    std::string reason;
    if (!HiveParser(text).Parse(root, reason)) {
        fd.Reset();
        return Damaged(st, reason, lockHeld);
    }
    root_ = std::move(root);
    HoldFile(std::move(fd));
    loaded_ = true;
    return kRegSuccess;
}

// The file of status `damaged` cannot be used. Under the lock (so that no writer is replacing
// it just now), and only if it is still the file at the hive's name, it is moved aside; the hive
// is then empty. When it cannot be moved it stays where it is and the call fails.
RegResult HiveStore::Damaged(const struct stat& damaged, const std::string& reason, bool lockHeld) {
    FileLock lock;
    if (!lockHeld && LockForChange(lock) != kRegSuccess) {
        const int error = errno;
        Report("registry hive " + file_ + " is damaged (" + reason +
               ") and cannot be moved aside: " + ErrnoText(error));
        return kRegCorrupt;
    }
    struct stat named {};
    const bool same = ::stat(file_.c_str(), &named) == 0 && damaged.st_dev == named.st_dev &&
                      damaged.st_ino == named.st_ino;
    if (!same) return Load(true);  // replaced meanwhile: read the new file
    const std::string aside = MoveAside(file_);
    if (aside.empty()) {
        Report("registry hive " + file_ + " is damaged (" + reason +
               ") and cannot be moved aside: " + ErrnoText(errno));
        return kRegCorrupt;
    }
    Report("registry hive " + file_ + " is damaged (" + reason + "); moved aside as " + aside +
           ", the hive starts empty");
    root_ = RegNode{};
    loaded_ = true;
    return kRegSuccess;
}

RegResult HiveStore::Save() {
    if (!AtomicWriteFile(file_, SerializeHive(root_), fileMode_)) {
        const int error = errno;
        loaded_ = false;
        ForgetFile();
        return ErrnoResult(error);
    }
    // Hold the file just written; without it the next call simply rereads the file.
    HoldFile(UniqueFd(OpenFileForReading(file_, kMaxHiveFile)));
    loaded_ = heldFd_.Valid();
    return kRegSuccess;
}

// ---------------------------------------------------------------------------------------------

std::string_view HiveName(Hive hive) {
    switch (hive) {
        case Hive::ClassesRoot: return "HKEY_CLASSES_ROOT";
        case Hive::CurrentUser: return "HKEY_CURRENT_USER";
        case Hive::LocalMachine: return "HKEY_LOCAL_MACHINE";
        case Hive::Users: return "HKEY_USERS";
        case Hive::CurrentConfig: return "HKEY_CURRENT_CONFIG";
    }
    return "HKEY_LOCAL_MACHINE";
}

std::optional<Hive> HiveFromName(std::string_view name) {
    static const struct {
        std::string_view shortName;
        Hive hive;
    } kHives[] = {{"HKCR", Hive::ClassesRoot},
                  {"HKCU", Hive::CurrentUser},
                  {"HKLM", Hive::LocalMachine},
                  {"HKU", Hive::Users},
                  {"HKCC", Hive::CurrentConfig}};
    for (const auto& h : kHives) {
        if (EqualsNoCase(name, h.shortName) || EqualsNoCase(name, HiveName(h.hive))) return h.hive;
    }
    return std::nullopt;
}

Registry::Registry(std::string machineFolder, std::string userFolder)
    : machineFolder_(std::move(machineFolder)),
      userFolder_(std::move(userFolder)),
      reporter_(std::make_shared<RegDamageReporter>()) {
    for (int i = 0; i < 5; ++i) {
        const auto hive = static_cast<Hive>(i);
        const bool personal = hive == Hive::CurrentUser;
        stores_[i] = std::make_shared<HiveStore>(personal ? userFolder_ : machineFolder_, hive,
                                                 personal, reporter_);
    }
}

// Open keys may outlive the registry: they share their hive's store.
Registry::~Registry() = default;

Registry& Registry::Default() {
    static std::mutex mutex;
    static std::vector<std::unique_ptr<Registry>> all;
    const std::string machine = MachineRegistryFolder();
    const std::string user = UserRegistryFolder();
    std::lock_guard<std::mutex> lock(mutex);
    for (const auto& r : all) {
        if (r->machineFolder_ == machine && r->userFolder_ == user) return *r;
    }
    all.push_back(std::make_unique<Registry>(machine, user));
    return *all.back();
}

void Registry::SetDamageReporter(RegDamageReporter reporter) {
    std::lock_guard<std::mutex> lock(gRegistryMutex);
    *reporter_ = std::move(reporter);
}

std::string Registry::HiveFile(Hive hive) const { return stores_[static_cast<int>(hive)]->File(); }

RegResult Registry::OpenKey(Hive hive, std::string_view path, RegKey* out) {
    RegKey root(stores_[static_cast<int>(hive)], hive, {});
    return root.OpenKey(path, out);
}

RegResult Registry::CreateKey(Hive hive, std::string_view path, RegKey* out) {
    RegKey root(stores_[static_cast<int>(hive)], hive, {});
    return root.CreateKey(path, out);
}

RegResult Registry::DeleteKey(Hive hive, std::string_view path, bool recursive) {
    RegKey root(stores_[static_cast<int>(hive)], hive, {});
    return root.DeleteKey(path, recursive);
}

// ---------------------------------------------------------------------------------------------

namespace {

// The node of an open key, or the reason there is none.
RegResult KeyNode(RegNode& root, const std::vector<std::string>& path, RegNode** node) {
    *node = Resolve(root, path);
    return *node != nullptr ? kRegSuccess : kRegKeyDeleted;
}

std::vector<std::string> Concat(const std::vector<std::string>& a,
                                const std::vector<std::string>& b) {
    std::vector<std::string> out = a;
    out.insert(out.end(), b.begin(), b.end());
    return out;
}

}  // namespace

void RegKey::Close() {
    store_.reset();
    path_.clear();
}

std::string RegKey::Path() const {
    std::string out;
    for (const auto& part : path_) {
        if (!out.empty()) out += '\\';
        out += part;
    }
    return out;
}

RegResult RegKey::OpenKey(std::string_view subPath, RegKey* out) const {
    if (!IsOpen()) return kRegInvalidHandle;
    std::vector<std::string> parts;
    if (const RegResult r = SplitKeyPath(subPath, &parts); r != kRegSuccess) return r;
    if (path_.size() + parts.size() > kRegMaxDepth) return kRegInvalidParameter;
    std::lock_guard<std::mutex> lock(gRegistryMutex);
    return store_->Read([&](RegNode& root) {
        RegNode* node = nullptr;
        if (const RegResult r = KeyNode(root, path_, &node); r != kRegSuccess) return r;
        std::vector<std::string> spelled = path_;
        for (const auto& part : parts) {
            node = FindChild(*node, part);
            if (node == nullptr) return kRegNotFound;
            spelled.push_back(node->name);
        }
        *out = RegKey(store_, hive_, std::move(spelled));
        return kRegSuccess;
    });
}

RegResult RegKey::CreateKey(std::string_view subPath, RegKey* out) const {
    if (!IsOpen()) return kRegInvalidHandle;
    std::vector<std::string> parts;
    if (const RegResult r = SplitKeyPath(subPath, &parts); r != kRegSuccess) return r;
    if (path_.size() + parts.size() > kRegMaxDepth) return kRegInvalidParameter;
    std::lock_guard<std::mutex> lock(gRegistryMutex);
    return store_->Change([&](RegNode& root, bool& changed) {
        RegNode* node = nullptr;
        if (const RegResult r = KeyNode(root, path_, &node); r != kRegSuccess) return r;
        std::vector<std::string> spelled = path_;
        for (const auto& part : parts) {
            RegNode* child = FindChild(*node, part);
            if (child == nullptr) {
                node->children.push_back(std::make_unique<RegNode>());
                child = node->children.back().get();
                child->name = part;
                changed = true;
            }
            node = child;
            spelled.push_back(node->name);
        }
        *out = RegKey(store_, hive_, std::move(spelled));
        return kRegSuccess;
    });
}

RegResult RegKey::DeleteKey(std::string_view subPath, bool recursive) const {
    if (!IsOpen()) return kRegInvalidHandle;
    std::vector<std::string> parts;
    if (const RegResult r = SplitKeyPath(subPath, &parts); r != kRegSuccess) return r;
    if (parts.empty()) return kRegInvalidParameter;
    const std::vector<std::string> full = Concat(path_, parts);
    std::lock_guard<std::mutex> lock(gRegistryMutex);
    return store_->Change([&](RegNode& root, bool& changed) {
        RegNode* self = nullptr;
        if (const RegResult r = KeyNode(root, path_, &self); r != kRegSuccess) return r;
        RegNode* parent = Resolve(root, std::vector<std::string>(full.begin(), full.end() - 1));
        RegNode* victim = parent != nullptr ? FindChild(*parent, full.back()) : nullptr;
        if (victim == nullptr) return kRegNotFound;
        if (!recursive && !victim->children.empty()) return kRegAccessDenied;
        std::erase_if(parent->children, [&](const auto& c) { return c.get() == victim; });
        changed = true;
        return kRegSuccess;
    });
}

RegResult RegKey::QueryValue(std::string_view name, RegValue* out) const {
    if (!IsOpen()) return kRegInvalidHandle;
    std::lock_guard<std::mutex> lock(gRegistryMutex);
    return store_->Read([&](RegNode& root) {
        RegNode* node = nullptr;
        if (const RegResult r = KeyNode(root, path_, &node); r != kRegSuccess) return r;
        const RegValue* value = FindValue(*node, name);
        if (value == nullptr) return kRegNotFound;
        *out = *value;
        return kRegSuccess;
    });
}

RegResult RegKey::QueryString(std::string_view name, std::string* out) const {
    RegValue value;
    const RegResult r = QueryValue(name, &value);
    if (r != kRegSuccess) return r;
    if (value.type != RegType::String) return kRegWrongType;
    *out = std::move(value.text);
    return kRegSuccess;
}

RegResult RegKey::QueryDword(std::string_view name, std::uint32_t* out) const {
    RegValue value;
    const RegResult r = QueryValue(name, &value);
    if (r != kRegSuccess) return r;
    if (value.type != RegType::Dword) return kRegWrongType;
    *out = value.dword;
    return kRegSuccess;
}

namespace {

RegResult SetValue(RegNode& node, const RegValue& wanted, bool& changed) {
    RegValue* value = FindValue(node, wanted.name);
    if (value == nullptr) {
        node.values.push_back(wanted);
        changed = true;
        return kRegSuccess;
    }
    if (value->type == wanted.type && value->text == wanted.text && value->dword == wanted.dword) {
        return kRegSuccess;  // nothing to write
    }
    value->type = wanted.type;
    value->text = wanted.text;
    value->dword = wanted.dword;
    changed = true;
    return kRegSuccess;
}

}  // namespace

RegResult RegKey::SetString(std::string_view name, std::string_view data) const {
    if (!IsOpen()) return kRegInvalidHandle;
    if (!ValidValueName(name) || data.size() > kRegMaxData) return kRegInvalidParameter;
    RegValue wanted{std::string(name), RegType::String, std::string(data), 0};
    std::lock_guard<std::mutex> lock(gRegistryMutex);
    return store_->Change([&](RegNode& root, bool& changed) {
        RegNode* node = nullptr;
        if (const RegResult r = KeyNode(root, path_, &node); r != kRegSuccess) return r;
        return SetValue(*node, wanted, changed);
    });
}

RegResult RegKey::SetDword(std::string_view name, std::uint32_t data) const {
    if (!IsOpen()) return kRegInvalidHandle;
    if (!ValidValueName(name)) return kRegInvalidParameter;
    RegValue wanted{std::string(name), RegType::Dword, std::string(), data};
    std::lock_guard<std::mutex> lock(gRegistryMutex);
    return store_->Change([&](RegNode& root, bool& changed) {
        RegNode* node = nullptr;
        if (const RegResult r = KeyNode(root, path_, &node); r != kRegSuccess) return r;
        return SetValue(*node, wanted, changed);
    });
}

RegResult RegKey::DeleteValue(std::string_view name) const {
    if (!IsOpen()) return kRegInvalidHandle;
    std::lock_guard<std::mutex> lock(gRegistryMutex);
    return store_->Change([&](RegNode& root, bool& changed) {
        RegNode* node = nullptr;
        if (const RegResult r = KeyNode(root, path_, &node); r != kRegSuccess) return r;
        const RegValue* value = FindValue(*node, name);
        if (value == nullptr) return kRegNotFound;
        node->values.erase(node->values.begin() + (value - node->values.data()));
        changed = true;
        return kRegSuccess;
    });
}

RegResult RegKey::EnumKeys(std::vector<std::string>* names) const {
    if (!IsOpen()) return kRegInvalidHandle;
    std::lock_guard<std::mutex> lock(gRegistryMutex);
    return store_->Read([&](RegNode& root) {
        RegNode* node = nullptr;
        if (const RegResult r = KeyNode(root, path_, &node); r != kRegSuccess) return r;
        names->clear();
        for (const auto& child : node->children) names->push_back(child->name);
        return kRegSuccess;
    });
}

RegResult RegKey::EnumValues(std::vector<RegValue>* values) const {
    if (!IsOpen()) return kRegInvalidHandle;
    std::lock_guard<std::mutex> lock(gRegistryMutex);
    return store_->Read([&](RegNode& root) {
        RegNode* node = nullptr;
        if (const RegResult r = KeyNode(root, path_, &node); r != kRegSuccess) return r;
        *values = node->values;
        return kRegSuccess;
    });
}

}  // namespace tarvell
