// The handles of the ODBC layer and the few calls the exports need.
#include "platform/odbc/Odbc.h"

#include <algorithm>

namespace tarvell::odbc {
namespace {

SQLCHAR* Chars(const std::string& s) {
    return reinterpret_cast<SQLCHAR*>(const_cast<char*>(s.c_str()));
}

// Longest statement or name handed to the driver in one call (the API counts in SQLINTEGER).
constexpr std::size_t kMaxCallText = 1u << 30;

}  // namespace

std::string Diagnostics(SQLSMALLINT handleType, SQLHANDLE handle) {
    std::string out;
    if (handle == nullptr) return out;
    for (SQLSMALLINT i = 1; i <= 4; ++i) {
        SQLCHAR state[6] = {};
        SQLINTEGER native = 0;
        SQLCHAR message[512] = {};
        SQLSMALLINT length = 0;
        const SQLRETURN rc =
            SQLGetDiagRec(handleType, handle, i, state, &native, message, sizeof message, &length);
        if (!Succeeded(rc)) break;
        if (!out.empty()) out += "; ";
        out += reinterpret_cast<const char*>(state);
        out += ": ";
        out += reinterpret_cast<const char*>(message);
    }
    return out;
}

// ---- Environment

Environment::Environment() {
    if (!Succeeded(SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &handle_))) {
        handle_ = SQL_NULL_HENV;
        return;
    }
    if (!Succeeded(SQLSetEnvAttr(handle_, SQL_ATTR_ODBC_VERSION,
                                 reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0))) {
        SQLFreeHandle(SQL_HANDLE_ENV, handle_);
        handle_ = SQL_NULL_HENV;
    }
}

Environment::~Environment() {
    if (handle_ != SQL_NULL_HENV) SQLFreeHandle(SQL_HANDLE_ENV, handle_);
}

std::vector<std::string> Environment::Drivers() const {
    std::vector<std::string> names;
    if (!Valid()) return names;
    SQLUSMALLINT direction = SQL_FETCH_FIRST;
    for (int i = 0; i < 1000; ++i) {
        SQLCHAR name[256] = {};
        SQLCHAR attributes[1024] = {};
        SQLSMALLINT nameLength = 0, attributesLength = 0;
        const SQLRETURN rc = SQLDrivers(handle_, direction, name, sizeof name, &nameLength,
                                        attributes, sizeof attributes, &attributesLength);
        if (!Succeeded(rc)) break;
        names.emplace_back(reinterpret_cast<const char*>(name));
        direction = SQL_FETCH_NEXT;
    }
    return names;
}

// ---- Connection

Connection::Connection(Environment& env) {
    if (!env.Valid() || !Succeeded(SQLAllocHandle(SQL_HANDLE_DBC, env.Handle(), &handle_)))
        handle_ = SQL_NULL_HDBC;
}

Connection::~Connection() {
    Disconnect();
    if (handle_ != SQL_NULL_HDBC) SQLFreeHandle(SQL_HANDLE_DBC, handle_);
}

bool Connection::Connect(const std::string& connectString, int loginTimeoutSeconds,
                         std::string* error) {
    if (handle_ == SQL_NULL_HDBC) {
        if (error) *error = "no connection handle";
        return false;
    }
    if (connectString.size() > 32767) {
        if (error) *error = "connect string too long";
        return false;
    }
    Disconnect();
    SQLSetConnectAttr(handle_, SQL_ATTR_LOGIN_TIMEOUT,
                      reinterpret_cast<SQLPOINTER>(static_cast<SQLULEN>(loginTimeoutSeconds)), 0);
    SQLCHAR out[1024] = {};
    SQLSMALLINT outLength = 0;
    const SQLRETURN rc = SQLDriverConnect(handle_, nullptr, Chars(connectString),
                                          static_cast<SQLSMALLINT>(connectString.size()), out,
                                          sizeof out, &outLength, SQL_DRIVER_NOPROMPT);
    // The completed connect string in `out` holds the password as well: it is dropped.
    std::fill(std::begin(out), std::end(out), 0);
    if (!Succeeded(rc)) {
        if (error) *error = LastError();
        return false;
    }
    connected_ = true;
    return true;
}

void Connection::Disconnect() {
    if (!connected_) return;
    SQLEndTran(SQL_HANDLE_DBC, handle_, SQL_ROLLBACK);
    SQLDisconnect(handle_);
    connected_ = false;
}

bool Connection::SetAutoCommit(bool on) {
    return Succeeded(SQLSetConnectAttr(handle_, SQL_ATTR_AUTOCOMMIT,
                                       reinterpret_cast<SQLPOINTER>(static_cast<SQLULEN>(
                                           on ? SQL_AUTOCOMMIT_ON : SQL_AUTOCOMMIT_OFF)),
                                       0));
}

bool Connection::Commit() { return Succeeded(SQLEndTran(SQL_HANDLE_DBC, handle_, SQL_COMMIT)); }
bool Connection::Rollback() { return Succeeded(SQLEndTran(SQL_HANDLE_DBC, handle_, SQL_ROLLBACK)); }

std::string Connection::Info(SQLUSMALLINT type) {
    SQLCHAR text[16] = {};
    SQLSMALLINT length = 0;
    if (!Succeeded(SQLGetInfo(handle_, type, text, sizeof text, &length))) return {};
    return reinterpret_cast<const char*>(text);
}

std::string Connection::IdentifierQuote() {
    const std::string q = Info(SQL_IDENTIFIER_QUOTE_CHAR);
    return q == " " ? std::string() : q;
}

std::string Connection::SearchPatternEscape() { return Info(SQL_SEARCH_PATTERN_ESCAPE); }

// ---- Statement

Statement::Statement(Connection& connection) {
    if (connection.Handle() == SQL_NULL_HDBC ||
        !Succeeded(SQLAllocHandle(SQL_HANDLE_STMT, connection.Handle(), &handle_)))
        handle_ = SQL_NULL_HSTMT;
}

Statement::~Statement() {
    if (handle_ != SQL_NULL_HSTMT) SQLFreeHandle(SQL_HANDLE_STMT, handle_);
}

SQLRETURN Statement::ExecDirect(const std::string& sql) {
    if (!Valid() || sql.size() > kMaxCallText) return SQL_ERROR;
    return SQLExecDirect(handle_, Chars(sql), static_cast<SQLINTEGER>(sql.size()));
}

SQLRETURN Statement::Prepare(const std::string& sql) {
    if (!Valid() || sql.size() > kMaxCallText) return SQL_ERROR;
    return SQLPrepare(handle_, Chars(sql), static_cast<SQLINTEGER>(sql.size()));
}

SQLRETURN Statement::Execute(const std::vector<std::optional<std::string>>& params) {
    if (!Valid()) return SQL_ERROR;
    SQLFreeStmt(handle_, SQL_RESET_PARAMS);
    paramText_.assign(params.size(), std::string());
    paramLength_.assign(params.size(), 0);
    for (std::size_t i = 0; i < params.size(); ++i) {
        if (params[i]) paramText_[i] = *params[i];
        paramLength_[i] = params[i] ? static_cast<SQLLEN>(paramText_[i].size()) : SQL_NULL_DATA;
        const SQLULEN size = std::max<SQLULEN>(paramText_[i].size(), 1);
        const SQLRETURN rc =
            SQLBindParameter(handle_, static_cast<SQLUSMALLINT>(i + 1), SQL_PARAM_INPUT, SQL_C_CHAR,
                             SQL_VARCHAR, size, 0, paramText_[i].data(),
                             static_cast<SQLLEN>(paramText_[i].size()), &paramLength_[i]);
        if (!Succeeded(rc)) return rc;
    }
    const SQLRETURN rc = SQLExecute(handle_);
    SQLFreeStmt(handle_, SQL_CLOSE);
    return rc;
}

int Statement::ResultColumns() {
    SQLSMALLINT count = 0;
    if (!Valid() || !Succeeded(SQLNumResultCols(handle_, &count))) return 0;
    return count;
}

SQLRETURN Statement::Fetch() { return Valid() ? SQLFetch(handle_) : SQL_ERROR; }

std::optional<std::string> Statement::GetText(SQLUSMALLINT column, std::size_t maxBytes, bool* ok) {
    std::string text;
    char buffer[1024];
    for (;;) {
        SQLLEN indicator = 0;
        const SQLRETURN rc =
            SQLGetData(handle_, column, SQL_C_CHAR, buffer, sizeof buffer, &indicator);
        if (rc == SQL_NO_DATA) break;
        if (!Succeeded(rc)) {
            if (ok) *ok = false;
            return std::nullopt;
        }
        if (indicator == SQL_NULL_DATA) return std::nullopt;
        // A full buffer holds sizeof - 1 bytes and the terminator; the last piece says its length.
        std::size_t got = sizeof buffer - 1;
        if (indicator != SQL_NO_TOTAL && indicator >= 0 &&
            static_cast<std::size_t>(indicator) < sizeof buffer)
            got = static_cast<std::size_t>(indicator);
        text.append(buffer, std::min(got, maxBytes - std::min(maxBytes, text.size())));
        if (rc == SQL_SUCCESS) break;
        if (text.size() >= maxBytes) break;
    }
    return text;
}

SQLRETURN Statement::Tables(const std::string& tablePattern, const std::string& tableTypes) {
    if (!Valid() || tablePattern.size() > 32767) return SQL_ERROR;
    return SQLTables(handle_, nullptr, 0, nullptr, 0, Chars(tablePattern),
                     static_cast<SQLSMALLINT>(tablePattern.size()),
                     tableTypes.empty() ? nullptr : Chars(tableTypes),
                     static_cast<SQLSMALLINT>(tableTypes.size()));
}

SQLRETURN Statement::Columns(const std::string& tablePattern) {
    if (!Valid() || tablePattern.size() > 32767) return SQL_ERROR;
    return SQLColumns(handle_, nullptr, 0, nullptr, 0, Chars(tablePattern),
                      static_cast<SQLSMALLINT>(tablePattern.size()), nullptr, 0);
}

void Statement::CloseCursor() {
    if (Valid()) SQLFreeStmt(handle_, SQL_CLOSE);
}

std::string EscapeSearchPattern(std::string_view name, std::string_view escape) {
    if (escape.empty()) return std::string(name);
    std::string out;
    for (char c : name) {
        if (c == '_' || c == '%' || escape.find(c) != std::string_view::npos) out += escape;
        out += c;
    }
    return out;
}

}  // namespace tarvell::odbc
