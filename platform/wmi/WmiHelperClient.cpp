#include "platform/wmi/WmiHelperClient.h"

#include <unistd.h>

#include <nlohmann/json.hpp>

#include "platform/Files.h"
#include "platform/Paths.h"
#include "platform/Process.h"
#include "platform/Text.h"

namespace tarvell {
namespace {

using Json = nlohmann::json;

// Time a helper has beyond a call's own limit to answer that it gave up.
constexpr std::int64_t kAnswerGraceMs = 2'000;
constexpr std::int64_t kWriteLimitMs = 5'000;

std::string Utf8(const std::string& text) { return Cp1252ToUtf8(text); }

std::optional<std::string> Text(const Json& v) {
    if (!v.is_string()) return std::nullopt;
    std::string text = Utf8ToCp1252(v.get<std::string>());
    if (text.size() > kMaxWmiValueBytes) text.resize(kMaxWmiValueBytes);
    return text;
}

std::optional<std::vector<std::string>> Texts(const Json& answer, const char* name) {
    const auto it = answer.find(name);
    if (it == answer.end() || !it->is_array()) return std::nullopt;
    std::vector<std::string> out;
    for (const Json& v : *it) {
        if (out.size() >= kMaxWmiValues) break;
        if (auto t = Text(v)) out.push_back(std::move(*t));  // NULL values are left out
    }
    return out;
}

class HelperConnection final : public WmiConnection {
public:
    HelperConnection(const WmiHelperClient& client, const ManualResetEvent* cancel)
        : client_(client), cancel_(cancel) {}

    bool Connect(const std::string& nodeIp, const std::string& nameSpace,
                 const std::optional<WmiAccount>& account, std::int64_t limitMs,
                 std::string* why) override {
        Json request = {{"op", "connect"},
                        {"ip", Utf8(nodeIp)},
                        {"namespace", Utf8(nameSpace)},
                        {"own", !account.has_value()},
                        {"timeoutMs", limitMs}};
        if (account) {
            request["user"] = Utf8(account->user);
            request["domain"] = Utf8(account->domain);
            request["password"] = Utf8(account->password);
        }
        const auto answer = Call(request, limitMs, why);
        return answer.has_value();
    }

    void Disconnect() override {
        if (!helper_.Running()) return;
        std::string why;
        Call({{"op", "disconnect"}}, kWriteLimitMs, &why);
    }

    std::optional<std::vector<std::string>> Query(const std::string& wql,
                                                  const std::string& property,
                                                  std::int64_t limitMs) override {
        std::string why;
        const auto answer = Call({{"op", "query"},
                                  {"wql", Utf8(wql)},
                                  {"property", Utf8(property)},
                                  {"timeoutMs", limitMs}},
                                 limitMs, &why);
        if (!answer) return std::nullopt;
        return Texts(*answer, "values");
    }

    std::optional<std::vector<std::string>> EnumKey(std::uint32_t root, const std::string& key,
                                                    std::int64_t limitMs) override {
        std::string why;
        const auto answer =
            Call({{"op", "enumkey"}, {"root", root}, {"key", Utf8(key)}, {"timeoutMs", limitMs}},
                 limitMs, &why);
        if (!answer) return std::nullopt;
        return Texts(*answer, "names");
    }

    std::optional<std::string> GetStringValue(std::uint32_t root, const std::string& key,
                                              const std::string& value,
                                              std::int64_t limitMs) override {
        const std::optional<Json> v = RegistryValue("getstring", root, key, value, limitMs);
        return v ? Text(*v) : std::nullopt;
    }

    std::optional<std::uint32_t> GetDwordValue(std::uint32_t root, const std::string& key,
                                               const std::string& value,
                                               std::int64_t limitMs) override {
        const std::optional<Json> v = RegistryValue("getdword", root, key, value, limitMs);
        if (!v || !v->is_number_integer()) return std::nullopt;
        const std::int64_t n = v->get<std::int64_t>();
        if (n < 0 || n > 0xFFFFFFFFll) return std::nullopt;
        return static_cast<std::uint32_t>(n);
    }

    bool IsDomainComputer(const std::string& nodeIp, std::int64_t limitMs) override {
        std::string why;
        const auto answer =
            Call({{"op", "domaincomputer"}, {"ip", Utf8(nodeIp)}, {"timeoutMs", limitMs}}, limitMs,
                 &why);
        if (!answer) return false;
        const auto it = answer->find("member");
        return it != answer->end() && it->is_boolean() && it->get<bool>();
    }

private:
    // The "value" of one registry value's answer (op "getstring" or "getdword"); nullopt when the
    // call failed or the answer holds none.
    std::optional<Json> RegistryValue(const char* op, std::uint32_t root, const std::string& key,
                                      const std::string& value, std::int64_t limitMs) {
        std::string why;
        const auto answer = Call({{"op", op},
                                  {"root", root},
                                  {"key", Utf8(key)},
                                  {"value", Utf8(value)},
                                  {"timeoutMs", limitMs}},
                                 limitMs, &why);
        if (!answer) return std::nullopt;
        const auto it = answer->find("value");
        if (it == answer->end()) return std::nullopt;
        return *it;
    }

    // Sends one request and reads its answer; nullopt with the reason when the helper could not
    // be started, did not answer in time (it is then killed) or answered a failure.
    std::optional<Json> Call(const Json& request, std::int64_t limitMs, std::string* why) {
        if (cancel_ != nullptr && cancel_->IsSet()) {
            *why = "cancelled";
            return std::nullopt;
        }
        if (!helper_.Running()) {
            ProcessOptions options;
            options.argv = client_.Command();
            options.environment = client_.Environment();
            if (!helper_.Start(options, why)) return std::nullopt;
        }
        const std::string line = request.dump(-1, ' ', true, Json::error_handler_t::replace);
        if (!helper_.WriteLine(line, kWriteLimitMs, cancel_)) {
            *why = "the helper did not take the request";
            helper_.Kill();
            return std::nullopt;
        }
        const auto answerLine =
            helper_.ReadLine(kMaxHelperLineBytes, limitMs + kAnswerGraceMs, cancel_);
        if (!answerLine) {
            *why = "the helper did not answer in time";
            helper_.Kill();
            return std::nullopt;
        }
        Json answer = Json::parse(*answerLine, nullptr, false);
        if (answer.is_discarded() || !answer.is_object()) {
            *why = "the helper's answer is not a JSON object";
            helper_.Kill();
            return std::nullopt;
        }
        const auto ok = answer.find("ok");
        if (ok == answer.end() || !ok->is_boolean() || !ok->get<bool>()) {
            const auto error = answer.find("error");
            *why =
                error != answer.end() && error->is_string() ? Text(*error).value_or("") : "failed";
            return std::nullopt;
        }
        return answer;
    }

    const WmiHelperClient& client_;
    const ManualResetEvent* cancel_;
    ProcessPipe helper_;
};

}  // namespace

std::unique_ptr<WmiConnection> WmiHelperClient::Open(const ManualResetEvent* cancel) {
    return std::make_unique<HelperConnection>(*this, cancel);
}

bool WmiHelperClient::SelfTest(std::string* why) const {
    ProcessOptions options;
    options.argv = command_;
    options.argv.push_back("--selftest");
    options.environment = environment_;
    options.timeLimitMs = kHelperSelfTestLimitMs;
    options.captureOutput = true;
    options.maxOutputBytes = 4096;
    const ProcessResult result = RunProcess(options);
    if (result.Succeeded()) return true;
    if (result.end == ProcessEnd::NotStarted) {
        *why = result.errorText;
    } else if (result.end == ProcessEnd::TimedOut) {
        *why = "the self-test did not end in time";
    } else {
        const std::string err = Trim(result.err, " \r\n");
        *why = err.substr(err.rfind('\n') == std::string::npos ? 0 : err.rfind('\n') + 1);
        if (why->empty()) *why = "the self-test failed";
    }
    return false;
}

std::string FindWmiHelper() {
    char exe[4096] = {};
    const ssize_t n = ::readlink("/proc/self/exe", exe, sizeof exe - 1);
    if (n > 0) {
        std::string folder(exe, static_cast<std::size_t>(n));
        folder = folder.substr(0, folder.rfind('/'));
        const std::string beside = JoinPath(folder, kWmiHelperName);
        if (FileExists(beside)) return beside;
    }
    const std::string installed = SystemPath(std::string("usr/lib/tarvell/") + kWmiHelperName);
    return FileExists(installed) ? installed : std::string();
}

}  // namespace tarvell
