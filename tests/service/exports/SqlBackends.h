// Real databases for the export tests: a SQLite database file through the SQLite ODBC driver,
// and a private PostgreSQL cluster through the PostgreSQL ODBC driver. The drivers are
// registered in a private odbcinst.ini (ODBCSYSINI points at its folder), so nothing global is
// needed. The cluster is made with the distribution's initdb and pg_ctl in a temporary folder,
// on a free loopback port; as root the server runs as the "postgres" user.
#pragma once

#include <glob.h>
#include <netinet/in.h>
#include <pwd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdlib>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/Files.h"
#include "platform/Process.h"
#include "platform/odbc/Odbc.h"

namespace tarvell::exporttest {

inline std::string FirstMatch(const std::string& pattern) {
    glob_t g{};
    std::string found;
    if (::glob(pattern.c_str(), 0, nullptr, &g) == 0 && g.gl_pathc > 0) found = g.gl_pathv[0];
    ::globfree(&g);
    return found;
}

inline int FreeLoopbackPort() {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof addr;
    int port = 0;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0 &&
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &length) == 0)
        port = ntohs(addr.sin_port);
    ::close(fd);
    return port;
}

// The private driver registration, made once per test program.
class OdbcDrivers {
public:
    static OdbcDrivers& Get() {
        static OdbcDrivers drivers;
        return drivers;
    }
    std::string sqlite = FirstMatch("/usr/lib/*/odbc/libsqlite3odbc.so");
    std::string postgres = FirstMatch("/usr/lib/*/odbc/psqlodbca.so");

private:
    OdbcDrivers() {
        folder_ = MakeTempFolder("tarvell-odbcinst-");
        std::string ini;
        if (!sqlite.empty()) ini += "[Tarvell SQLite3]\nDriver=" + sqlite + "\n\n";
        // The driver also takes its log settings from the section of its own name, which the
        // distribution's template registers with its communication log on; the log goes here.
        if (!postgres.empty())
            ini += "[Tarvell PostgreSQL]\nDriver=" + postgres +
                   "\n\n[PostgreSQL ANSI]\nDriver=" + postgres +
                   "\nDebug=0\nCommLog=1\nLogdir=" + folder_ + "\n\n";
        AtomicWriteFile(JoinPath(folder_, "odbcinst.ini"), ini);
        AtomicWriteFile(JoinPath(folder_, "odbc.ini"), "");
        ::setenv("ODBCSYSINI", folder_.c_str(), 1);
        ::setenv("ODBCINSTINI", "odbcinst.ini", 1);
        ::setenv("ODBCINI", JoinPath(folder_, "odbc.ini").c_str(), 1);
    }
    ~OdbcDrivers() { RemoveTree(folder_); }
    std::string folder_;
};

// A PostgreSQL server of our own, started on first use and stopped at program exit.
class PostgresCluster {
public:
    static PostgresCluster& Get() {
        static PostgresCluster cluster;
        return cluster;
    }
    bool Running() const { return running_; }
    const std::string& Problem() const { return problem_; }
    int Port() const { return port_; }
    std::string ConnectString(const std::string& password = "pw-not-needed") const {
        return "DRIVER={Tarvell PostgreSQL};Server=127.0.0.1;Port=" + std::to_string(port_) +
               ";Database=postgres;Uid=tarvell;Pwd=" + password + ";";
    }
    bool Stop() {
        if (running_ && Control({"stop", "-m", "fast"})) running_ = false;
        return !running_;
    }
    bool Start() { return running_ || (running_ = Control({"start"})); }

private:
    PostgresCluster() {
        const std::string initdb = FirstMatch("/usr/lib/postgresql/*/bin/initdb");
        if (initdb.empty()) {
            problem_ = "no initdb";
            return;
        }
        bin_ = initdb.substr(0, initdb.rfind('/'));
        folder_ = MakeTempFolder("tarvell-pg-");
        if (::geteuid() == 0) {
            const passwd* pw = ::getpwnam("postgres");
            if (!pw || ::chown(folder_.c_str(), pw->pw_uid, pw->pw_gid) != 0) {
                problem_ = "no postgres user to run the server as";
                return;
            }
            asUser_ = {"runuser", "-u", "postgres", "--"};
        }
        ProcessResult r = RunAs({JoinPath(bin_, "initdb"), "-D", JoinPath(folder_, "data"), "-A",
                                 "trust", "-U", "tarvell", "-E", "UTF8", "--locale=C"});
        if (!r.Succeeded()) {
            problem_ = "initdb failed: " + r.err;
            return;
        }
        port_ = FreeLoopbackPort();
        running_ = Control({"start"});
        if (!running_) problem_ = "pg_ctl start failed";
    }
    ~PostgresCluster() {
        if (running_) Control({"stop", "-m", "immediate"});
        if (!folder_.empty()) RemoveTree(folder_);
    }

    ProcessResult RunAs(std::vector<std::string> argv) {
        ProcessOptions o;
        o.argv = asUser_;
        o.argv.insert(o.argv.end(), argv.begin(), argv.end());
        o.captureOutput = true;
        o.timeLimitMs = 60'000;
        o.workingDir = folder_;
        return RunProcess(o);
    }
    bool Control(std::vector<std::string> what) {
        std::vector<std::string> argv = {JoinPath(bin_, "pg_ctl"),
                                         "-D",
                                         JoinPath(folder_, "data"),
                                         "-l",
                                         JoinPath(folder_, "server.log"),
                                         "-w",
                                         "-t",
                                         "30"};
        argv.insert(argv.end(), what.begin(), what.end());
        if (what[0] == "start") {
            argv.push_back("-o");
            argv.push_back("-p " + std::to_string(port_) + " -k " + folder_ +
                           " -c listen_addresses=127.0.0.1 -c fsync=off");
        }
        return RunAs(argv).Succeeded();
    }

    std::string bin_, folder_, problem_;
    std::vector<std::string> asUser_;
    int port_ = 0;
    bool running_ = false;
};

// Runs one statement and returns its rows (NULL as nullopt), or nullopt when it failed.
using Row = std::vector<std::optional<std::string>>;
inline std::optional<std::vector<Row>> Query(const std::string& connect, const std::string& sql,
                                             std::string* error = nullptr) {
    odbc::Environment env;
    odbc::Connection db(env);
    if (!db.Connect(connect, 10, error)) return std::nullopt;
    odbc::Statement st(db);
    if (!odbc::Succeeded(st.ExecDirect(sql))) {
        if (error) *error = st.LastError();
        return std::nullopt;
    }
    std::vector<Row> rows;
    const int count = st.ResultColumns();
    while (odbc::Succeeded(st.Fetch())) {
        Row& row = rows.emplace_back();
        bool ok = true;
        for (int c = 1; c <= count; ++c)
            row.push_back(st.GetText(static_cast<SQLUSMALLINT>(c), 1 << 20, &ok));
        if (!ok) return std::nullopt;
    }
    return rows;
}

}  // namespace tarvell::exporttest
