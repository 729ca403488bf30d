#include "viewer/core/settings/OdbcSource.h"

#include <fcntl.h>
#include <odbcinst.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>

#include "platform/Files.h"
#include "platform/Text.h"
#include "platform/UniqueFd.h"
#include "platform/odbc/Odbc.h"
#include "viewer/core/base/StringTable.h"

namespace tarvell {

namespace {

constexpr std::size_t kMaxValue = 4096;

// ODBCINI names the private file while the installer and driver manager calls run.
class PrivateIni {
public:
    explicit PrivateIni(const std::string& path) {
        if (const char* old = std::getenv("ODBCINI")) old_ = old;
        ::setenv("ODBCINI", path.c_str(), 1);
        SQLSetConfigMode(ODBC_USER_DSN);
    }
    ~PrivateIni() {
        SQLSetConfigMode(ODBC_BOTH_DSN);
        if (old_) ::setenv("ODBCINI", old_->c_str(), 1);
        else ::unsetenv("ODBCINI");
    }
    PrivateIni(const PrivateIni&) = delete;
    PrivateIni& operator=(const PrivateIni&) = delete;

private:
    std::optional<std::string> old_;
};

std::string InstallerError() {
    DWORD code = 0;
    char message[SQL_MAX_MESSAGE_LENGTH] = {};
    WORD length = 0;
    if (SQLInstallerError(1, &code, message, sizeof message, &length) == SQL_SUCCESS)
        return message;
    return "the installer refused";
}

// A value written into the ini: one line, no brackets that would open a section.
bool Writable(const std::string& s) {
    return s.size() <= kMaxValue && s.find_first_of("\r\n\0", 0, 3) == std::string::npos;
}

// Creates the file 0600 (and its folder 0700) when missing; an existing file is set to 0600.
bool PrepareIni(const std::string& path, std::string* error) {
    const std::string folder = path.substr(0, path.rfind('/'));
    if (!folder.empty() && !MakeDirectories(folder)) {
        if (error) *error = "cannot make " + folder;
        return false;
    }
    const UniqueFd fd(::open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600));
    if (!fd.Valid()) {
        if (error) *error = "cannot open " + path;
        return false;
    }
    const bool ok = ::fchmod(fd.Get(), 0600) == 0;
    if (!ok && error) *error = "cannot protect " + path;
    return ok;
}

std::string ConfigHome() {
    const char* xdg = std::getenv("XDG_CONFIG_HOME");
    if (xdg && *xdg == '/') return xdg;
    const char* home = std::getenv("HOME");
    return std::string(home && *home ? home : "") + "/.config";
}

}  // namespace

std::string ViewerOdbcIniPath() { return ConfigHome() + "/tarvell/odbc.ini"; }

bool WriteDataSource(const std::string& iniPath, const DataSourceRequest& request,
                     std::string* error) {
    if (request.driver.empty() || !Writable(request.driver) ||
        request.driver.find_first_of("[]{}") != std::string::npos) {
        if (error) *error = "no usable driver";
        return false;
    }
    for (const auto& [key, value] : request.attributes)
        if (key.empty() || !Writable(key) || !Writable(value) ||
            key.find_first_of("[]=;") != std::string::npos) {
            if (error) *error = "unusable attribute";
            return false;
        }
    if (!PrepareIni(iniPath, error)) return false;
    bool ok;
    {
        PrivateIni scope(iniPath);
        ok = SQLWriteDSNToIni(kViewerDataSource, request.driver.c_str());
        for (const auto& [key, value] : request.attributes) {
            if (!ok) break;
            ok = SQLWritePrivateProfileString(kViewerDataSource, key.c_str(), value.c_str(),
                                              "odbc.ini");
        }
        if (!ok && error) *error = InstallerError();
    }
    // The installer may have written a new file: it stays private.
    ::chmod(iniPath.c_str(), 0600);
    return ok;
}

std::optional<std::string> DataSourceValue(const std::string& iniPath, const std::string& key,
                                           bool* readable) {
    PrivateIni scope(iniPath);
    char keys[2048] = {};
    const int listed =
        SQLGetPrivateProfileString(kViewerDataSource, nullptr, "", keys, sizeof keys, "odbc.ini");
    if (listed <= 0) {
        if (readable) *readable = false;
        return std::nullopt;
    }
    if (readable) *readable = true;
    // Keys come as a list of names, each ended by a NUL; the value is read only when listed.
    bool present = false;
    for (const char* k = keys; *k && k < keys + sizeof keys;
         k += std::char_traits<char>::length(k) + 1)
        if (EqualsNoCase(k, key)) present = true;
    if (!present) return std::nullopt;
    char value[kMaxValue] = {};
    SQLGetPrivateProfileString(kViewerDataSource, key.c_str(), "", value, sizeof value, "odbc.ini");
    return std::string(value);
}

std::string ConnectPair(const std::string& key, const std::string& value) {
    const bool braces = value.find_first_of(";{}") != std::string::npos || value != Trim(value);
    return key + "=" + (braces ? "{" + value + "}" : value) + ";";
}

std::optional<std::string> CompletedConnectString(const DataSourceRequest& request,
                                                  int loginTimeoutSeconds, std::string* error) {
    odbc::Environment env;
    odbc::Connection connection(env);
    if (connection.Handle() == SQL_NULL_HDBC) {
        if (error) *error = "no connection handle";
        return std::nullopt;
    }
    std::string in = "DRIVER={" + request.driver + "};";
    for (const auto& [key, value] : request.attributes) in += ConnectPair(key, value);
    for (const auto& [key, value] : request.credentials) in += ConnectPair(key, value);
    SQLSetConnectAttr(connection.Handle(), SQL_ATTR_LOGIN_TIMEOUT,
                      reinterpret_cast<SQLPOINTER>(static_cast<SQLULEN>(loginTimeoutSeconds)), 0);
    std::string out(4096, '\0');
    SQLSMALLINT outLength = 0;
    const SQLRETURN rc = SQLDriverConnect(
        connection.Handle(), nullptr, reinterpret_cast<SQLCHAR*>(in.data()),
        static_cast<SQLSMALLINT>(in.size()), reinterpret_cast<SQLCHAR*>(out.data()),
        static_cast<SQLSMALLINT>(out.size()), &outLength, SQL_DRIVER_NOPROMPT);
    std::fill(in.begin(), in.end(), '\0');
    if (!odbc::Succeeded(rc)) {
        if (error) *error = connection.LastError();
        return std::nullopt;
    }
    SQLDisconnect(connection.Handle());
    out.resize(std::char_traits<char>::length(out.c_str()));
    return out;
}

ChosenLocation ChooseDataSource(const std::string& iniPath, const DataSourceRequest& request,
                                DatabaseKind kind, int loginTimeoutSeconds) {
    ChosenLocation chosen;
    if (!WriteDataSource(iniPath, request, &chosen.detail)) {
        chosen.message = str::kExportSourceFailed;
        return chosen;
    }
    auto completed = CompletedConnectString(request, loginTimeoutSeconds, &chosen.detail);
    if (!completed) {
        chosen.message = str::kExportOpenFailed;
        return chosen;
    }
    // The credentials given at connect time belong in the stored string even where the driver
    // leaves them out of its completed one.
    for (const auto& [key, value] : request.credentials)
        if (!ConnectValue(*completed, key)) {
            if (!completed->empty() && completed->back() != ';') *completed += ';';
            *completed += ConnectPair(key, value);
        }
    std::string connect = *completed;
    if (kind == DatabaseKind::Server) {
        bool readable = true;
        const auto server = DataSourceValue(iniPath, "Server", &readable);
        ServerRuleResult rule = ApplyServerRule(std::move(connect), readable, server);
        connect = std::move(rule.connect);
        if (rule.verifyFailed) chosen.message = str::kExportVerifyFailed;
    }
    chosen.location = StoredConnectString(connect, request.driver);
    return chosen;
}

std::vector<std::string> DriversFor(DatabaseKind kind, const std::vector<std::string>& installed) {
    std::vector<std::string> out = installed;
    std::stable_partition(out.begin(), out.end(), [kind](const std::string& d) {
        return IsFileDriver(d) == (kind == DatabaseKind::File);
    });
    return out;
}

}  // namespace tarvell
