#include "platform/wmi/WmiFixtureClient.h"

#include <algorithm>
#include <cctype>

#include <nlohmann/json.hpp>

#include "platform/Files.h"
#include "platform/ManualResetEvent.h"
#include "platform/Text.h"

namespace tarvell {
namespace {

using Json = nlohmann::json;

const Json kNoValue;

// The member, or null when the object has none (never inserts, unlike operator[]).
const Json& Member(const Json& object, const char* name) {
    if (!object.is_object()) return kNoValue;
    const auto it = object.find(name);
    return it != object.end() ? *it : kNoValue;
}

// Only a dotted address names a file: no "/", no "..".
bool IsAddressText(const std::string& ip) {
    return !ip.empty() && ip.size() <= 15 && std::all_of(ip.begin(), ip.end(), [](char c) {
        return (c >= '0' && c <= '9') || c == '.';
    }) && ip.front() != '.';
}

const char* RootName(std::uint32_t root) {
    switch (root) {
        case kHkeyClassesRoot: return "HKEY_CLASSES_ROOT";
        case kHkeyCurrentUser: return "HKEY_CURRENT_USER";
        case kHkeyLocalMachine: return "HKEY_LOCAL_MACHINE";
        case kHkeyUsers: return "HKEY_USERS";
        case kHkeyCurrentConfig: return "HKEY_CURRENT_CONFIG";
        case kHkeyDynData: return "HKEY_DYN_DATA";
    }
    return nullptr;
}

// A JSON value as the text a property gives; nullopt for null, objects and arrays.
std::optional<std::string> ValueText(const Json& v) {
    std::string text;
    if (v.is_string()) {
        text = Utf8ToCp1252(v.get<std::string>());
    } else if (v.is_number_integer()) {
        text = v.is_number_unsigned() ? std::to_string(v.get<std::uint64_t>())
                                      : std::to_string(v.get<std::int64_t>());
    } else if (v.is_number_float()) {
        text = std::to_string(v.get<double>());
    } else if (v.is_boolean()) {
        text = v.get<bool>() ? "True" : "False";
    } else {
        return std::nullopt;
    }
    if (text.size() > kMaxWmiValueBytes) text.resize(kMaxWmiValueBytes);
    return text;
}

std::string JsonText(const Json& object, const char* name) {
    const auto it = object.find(name);
    return it != object.end() && it->is_string() ? Utf8ToCp1252(it->get<std::string>())
                                                 : std::string();
}

std::int64_t JsonNumber(const Json& object, const char* name) {
    const auto it = object.find(name);
    return it != object.end() && it->is_number_integer() ? it->get<std::int64_t>() : 0;
}

// The parts of the small WQL the fixtures understand.
struct SimpleQuery {
    std::string className;
    std::string property;  // empty: no condition
    bool notEqual = false;
    std::string text;
};

std::optional<SimpleQuery> ParseQuery(const std::string& wql) {
    // select <...> from <Class> [where <Prop> = | <> '<text>']
    const std::string lower = ToLowerAscii(wql);
    const std::size_t from = lower.find(" from ");
    if (!lower.starts_with("select ") || from == std::string::npos) return std::nullopt;
    std::string rest = Trim(std::string_view(wql).substr(from + 6), " ");
    SimpleQuery q;
    const std::size_t where = ToLowerAscii(rest).find(" where ");
    q.className = Trim(std::string_view(rest).substr(0, where), " ");
    if (q.className.empty()) return std::nullopt;
    if (where == std::string::npos) return q;
    const std::string condition = Trim(std::string_view(rest).substr(where + 7), " ");
    std::size_t op = condition.find("<>");
    std::size_t opLength = 2;
    q.notEqual = op != std::string::npos;
    if (!q.notEqual) {
        op = condition.find('=');
        opLength = 1;
    }
    if (op == std::string::npos) return std::nullopt;
    q.property = Trim(std::string_view(condition).substr(0, op), " ");
    std::string value = Trim(std::string_view(condition).substr(op + opLength), " ");
    if (value.size() < 2 || value.front() != '\'' || value.back() != '\'') return std::nullopt;
    q.text = value.substr(1, value.size() - 2);
    return q;
}

class FixtureConnection final : public WmiConnection {
public:
    FixtureConnection(WmiFixtureClient& client, const ManualResetEvent* cancel)
        : client_(client), cancel_(cancel) {}

    bool Connect(const std::string& nodeIp, const std::string& nameSpace,
                 const std::optional<WmiAccount>& account, std::int64_t limitMs,
                 std::string* why) override {
        Disconnect();
        WmiFixtureClient::ConnectRecord record{nodeIp, nameSpace, account, false};
        const bool ok = TryConnect(nodeIp, nameSpace, account, limitMs, why);
        record.succeeded = ok;
        client_.Record(record);
        return ok;
    }

    void Disconnect() override {
        computer_ = Json();
        connected_ = false;
    }

    std::optional<std::vector<std::string>> Query(const std::string& wql,
                                                  const std::string& property,
                                                  std::int64_t limitMs) override {
        if (!Pass(limitMs)) return std::nullopt;
        const auto q = ParseQuery(wql);
        if (!q) return std::nullopt;
        std::vector<std::string> values;
        const Json* objects = FindNoCase(Member(computer_, "classes"), q->className);
        if (objects == nullptr || !objects->is_array()) return values;
        for (const Json& object : *objects) {
            if (!object.is_object()) continue;
            if (!q->property.empty()) {
                const Json* tested = FindNoCase(object, q->property);
                const auto text = tested != nullptr ? ValueText(*tested) : std::nullopt;
                if (!text) continue;  // NULL never compares true
                if (EqualsNoCase(*text, q->text) == q->notEqual) continue;
            }
            const Json* value = FindNoCase(object, property);
            if (value == nullptr) continue;
            if (auto text = ValueText(*value); text && values.size() < kMaxWmiValues)
                values.push_back(std::move(*text));
        }
        return values;
    }

    std::optional<std::vector<std::string>> EnumKey(std::uint32_t root, const std::string& key,
                                                    std::int64_t limitMs) override {
        if (!Pass(limitMs)) return std::nullopt;
        const char* rootName = RootName(root);
        if (rootName == nullptr) return std::nullopt;
        const std::string prefix = ToLowerAscii(std::string(rootName) + "\\" + key + "\\");
        std::vector<std::string> names;
        bool exists = false;
        const Json& registry = Member(computer_, "registry");
        if (!registry.is_object()) return std::nullopt;
        for (const auto& [path, values] : registry.items()) {
            const std::string full = Utf8ToCp1252(path);
            const std::string lower = ToLowerAscii(full);
            if (lower + "\\" == prefix) exists = true;
            if (!lower.starts_with(prefix)) continue;
            exists = true;
            const std::string below = full.substr(prefix.size());
            const std::string name = below.substr(0, below.find('\\'));
            const bool seen = std::any_of(names.begin(), names.end(), [&](const std::string& n) {
                return EqualsNoCase(n, name);
            });
            if (!name.empty() && !seen && names.size() < kMaxWmiValues) names.push_back(name);
        }
        if (!exists) return std::nullopt;
        return names;
    }

    std::optional<std::string> GetStringValue(std::uint32_t root, const std::string& key,
                                              const std::string& value,
                                              std::int64_t limitMs) override {
        const Json* v = RegistryValue(root, key, value, limitMs);
        if (v == nullptr || !v->is_string()) return std::nullopt;
        return ValueText(*v);
    }

    std::optional<std::uint32_t> GetDwordValue(std::uint32_t root, const std::string& key,
                                               const std::string& value,
                                               std::int64_t limitMs) override {
        const Json* v = RegistryValue(root, key, value, limitMs);
        if (v == nullptr || !v->is_number_integer()) return std::nullopt;
        const std::int64_t n = v->get<std::int64_t>();
        if (n < 0 || n > 0xFFFFFFFFll) return std::nullopt;
        return static_cast<std::uint32_t>(n);
    }

    bool IsDomainComputer(const std::string& nodeIp, std::int64_t limitMs) override {
        const auto file = Load(nodeIp);
        if (!file) return false;
        if (!Delay(JsonNumber(*file, "queryDelayMs"), limitMs)) return false;
        const auto it = file->find("domainComputer");
        return it != file->end() && it->is_boolean() && it->get<bool>();
    }

private:
    std::optional<Json> Load(const std::string& nodeIp) {
        if (!IsAddressText(nodeIp)) return std::nullopt;
        const auto bytes =
            ReadWholeFile(JoinPath(client_.Folder(), nodeIp + ".json"), kMaxWmiFixtureBytes);
        if (!bytes) return std::nullopt;
        Json parsed = Json::parse(*bytes, nullptr, false);
        if (parsed.is_discarded() || !parsed.is_object()) return std::nullopt;
        return parsed;
    }

    // Takes `ms` on the clock; false when that reaches the limit (the call timed out) or the
    // check is cancelled.
    bool Delay(std::int64_t ms, std::int64_t limitMs) {
        if (cancel_ != nullptr && cancel_->IsSet()) return false;
        if (ms <= 0) return true;
        const std::int64_t slept = limitMs > 0 ? std::min(ms, limitMs) : ms;
        client_.clock().SleepMs(slept);
        return limitMs <= 0 || ms < limitMs;
    }

    bool Pass(std::int64_t limitMs) {
        return connected_ && Delay(JsonNumber(computer_, "queryDelayMs"), limitMs);
    }

    bool TryConnect(const std::string& nodeIp, const std::string& nameSpace,
                    const std::optional<WmiAccount>& account, std::int64_t limitMs,
                    std::string* why) {
        const int before = client_.CountConnect(nodeIp);
        auto file = Load(nodeIp);
        if (!file) {
            *why = "no answer";
            return false;
        }
        if (!Delay(JsonNumber(*file, "connectDelayMs"), limitMs)) {
            *why = "timed out";
            return false;
        }
        if (before < JsonNumber(*file, "failConnects")) {
            *why = "no answer";
            return false;
        }
        if (const auto refuse = file->find("refuse"); refuse != file->end() && refuse->is_array()) {
            for (const Json& n : *refuse) {
                if (n.is_string() && (n.get<std::string>() == "*" ||
                                      EqualsNoCase(n.get<std::string>(), nameSpace))) {
                    *why = "access denied";
                    return false;
                }
            }
        }
        if (const auto wanted = file->find("account");
            wanted != file->end() && wanted->is_object()) {
            const WmiAccount expected{JsonText(*wanted, "user"), JsonText(*wanted, "domain"),
                                      JsonText(*wanted, "password")};
            if (!account || !(*account == expected)) {
                *why = "access denied";
                return false;
            }
        }
        computer_ = std::move(*file);
        connected_ = true;
        return true;
    }

    const Json* RegistryValue(std::uint32_t root, const std::string& key, const std::string& value,
                              std::int64_t limitMs) {
        if (!Pass(limitMs)) return nullptr;
        const char* rootName = RootName(root);
        if (rootName == nullptr) return nullptr;
        const Json* values =
            FindNoCase(Member(computer_, "registry"), std::string(rootName) + "\\" + key);
        if (values == nullptr || !values->is_object()) return nullptr;
        return FindNoCase(*values, value);
    }

    // Names are case-insensitive in WMI and the registry.
    static const Json* FindNoCase(const Json& object, const std::string& name) {
        if (!object.is_object()) return nullptr;
        for (const auto& [key, value] : object.items()) {
            if (EqualsNoCase(Utf8ToCp1252(key), name)) return &value;
        }
        return nullptr;
    }

    WmiFixtureClient& client_;
    const ManualResetEvent* cancel_;
    Json computer_;
    bool connected_ = false;
};

}  // namespace

std::unique_ptr<WmiConnection> WmiFixtureClient::Open(const ManualResetEvent* cancel) {
    return std::make_unique<FixtureConnection>(*this, cancel);
}

int WmiFixtureClient::CountConnect(const std::string& nodeIp) {
    std::lock_guard<std::mutex> guard(lock_);
    if (connects_.size() > 100'000) connects_.clear();  // a demo running for weeks
    return connects_[nodeIp]++;
}

void WmiFixtureClient::Record(ConnectRecord record) {
    std::lock_guard<std::mutex> guard(lock_);
    if (records_.size() < 100'000) records_.push_back(std::move(record));
}

std::vector<WmiFixtureClient::ConnectRecord> WmiFixtureClient::Connects() const {
    std::lock_guard<std::mutex> guard(lock_);
    return records_;
}

}  // namespace tarvell
