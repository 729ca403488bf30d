// A small RAII layer over the ODBC driver manager (unixODBC): an environment, connections and
// statements whose handles are freed by their destructors, text parameters bound per
// execution, text columns read whole up to a bound, and the driver's diagnostics as text.
//
// A Connection and its Statements belong to one thread. Results are the ODBC return codes;
// Succeeded() is the one test of success (SQL_SUCCESS or SQL_SUCCESS_WITH_INFO). Texts go to
// and come from the driver as bytes (the callers hand UTF-8).
#pragma once

#include <sql.h>
#include <sqlext.h>

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tarvell::odbc {

inline bool Succeeded(SQLRETURN rc) { return SQL_SUCCEEDED(rc); }

// The diagnostic records of a handle as "SQLSTATE: message; ...", at most 4 records.
std::string Diagnostics(SQLSMALLINT handleType, SQLHANDLE handle);

class Environment {
public:
    Environment();
    ~Environment();
    Environment(const Environment&) = delete;
    Environment& operator=(const Environment&) = delete;

    bool Valid() const { return handle_ != SQL_NULL_HENV; }
    SQLHENV Handle() const { return handle_; }
    // The names of the drivers the driver manager knows (odbcinst.ini).
    std::vector<std::string> Drivers() const;

private:
    SQLHENV handle_ = SQL_NULL_HENV;
};

class Connection {
public:
    explicit Connection(Environment& env);
    ~Connection();
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    // Connects without any dialog. The connect string may hold a password: it is never put in
    // `error`, only the driver's diagnostics are.
    bool Connect(const std::string& connectString, int loginTimeoutSeconds, std::string* error);
    void Disconnect();
    bool Connected() const { return connected_; }
    SQLHDBC Handle() const { return handle_; }

    bool SetAutoCommit(bool on);
    bool Commit();
    bool Rollback();
    // The identifier quote character ("\"" for most drivers); empty when the driver has none.
    std::string IdentifierQuote();
    // The escape character of catalog search patterns; empty when the driver has none.
    std::string SearchPatternEscape();
    std::string LastError() const { return Diagnostics(SQL_HANDLE_DBC, handle_); }

private:
    std::string Info(SQLUSMALLINT type);

    SQLHDBC handle_ = SQL_NULL_HDBC;
    bool connected_ = false;
};

class Statement {
public:
    explicit Statement(Connection& connection);
    ~Statement();
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    bool Valid() const { return handle_ != SQL_NULL_HSTMT; }
    SQLRETURN ExecDirect(const std::string& sql);
    SQLRETURN Prepare(const std::string& sql);
    // Binds the texts as input parameters 1..n (nullopt binds NULL) and runs the prepared
    // statement. The texts are copied, so the caller's may go.
    SQLRETURN Execute(const std::vector<std::optional<std::string>>& params);
    SQLRETURN Fetch();
    // The number of columns of the current result set (0 when there is none).
    int ResultColumns();
    // Column `column` (from 1) of the current row as text; nullopt for NULL. Longer texts are
    // cut at maxBytes. `ok` is cleared when the driver fails.
    std::optional<std::string> GetText(SQLUSMALLINT column, std::size_t maxBytes, bool* ok);
    // Catalog calls with a table name pattern (already escaped by the caller).
    SQLRETURN Tables(const std::string& tablePattern, const std::string& tableTypes);
    SQLRETURN Columns(const std::string& tablePattern);
    void CloseCursor();
    std::string LastError() const { return Diagnostics(SQL_HANDLE_STMT, handle_); }

private:
    SQLHSTMT handle_ = SQL_NULL_HSTMT;
    std::vector<std::string> paramText_;
    std::vector<SQLLEN> paramLength_;
};

// A pattern of the catalog calls that matches exactly `name`: "_", "%" and the escape
// character itself preceded by `escape`. With no escape character the name is given as is.
std::string EscapeSearchPattern(std::string_view name, std::string_view escape);

}  // namespace tarvell::odbc
