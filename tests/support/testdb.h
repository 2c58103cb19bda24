// Throwaway databases for tests, against the real drivers through unixODBC.
//
// The first use points unixODBC at ini files of the test process's own (ODBCSYSINI and
// ODBCINI in a temporary directory), so tests never see or touch the user's data
// sources. Each TestDatabase is a fresh SQLite file, or a fresh database on one of the
// throwaway servers that ./test starts: PostgreSQL (ORV_TEST_PG_HOST, ORV_TEST_PG_PORT,
// ORV_TEST_PG_USER) or MariaDB (ORV_TEST_MARIADB_SOCKET, ORV_TEST_MARIADB_USER),
// registered there as a data source of its own.
#pragma once

#include "odbc/odbc.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

namespace orv::test {

enum class Backend { SQLite, PostgreSQL, MariaDB };

std::string backendName(Backend backend);
// Every back end the tests run against.
std::vector<Backend> allBackends();
// For INSTANTIATE_TEST_SUITE_P(..., testing::ValuesIn(allBackends()), backendParamName).
std::string backendParamName(const testing::TestParamInfo<Backend>& info);

// The process's own ODBC ini directory (created on first use).
const std::filesystem::path& odbcIniDir();
// Full path of the installed driver library, "" when it is not installed.
std::string driverPath(Backend backend);

class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::filesystem::path& path() const { return path_; }
    std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

private:
    std::filesystem::path path_;
};

// Sets (or, with nullptr, unsets) an environment variable and restores it afterwards.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const char* value);
    ~ScopedEnv();
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    std::string name_;
    std::string old_;
    bool hadOld_ = false;
};

// Changes the current directory and restores it afterwards.
class ScopedCurrentDir {
public:
    explicit ScopedCurrentDir(const std::filesystem::path& dir);
    ~ScopedCurrentDir();
    ScopedCurrentDir(const ScopedCurrentDir&) = delete;
    ScopedCurrentDir& operator=(const ScopedCurrentDir&) = delete;

private:
    std::filesystem::path old_;
};

class TestDatabase {
public:
    explicit TestDatabase(Backend backend);
    ~TestDatabase();
    TestDatabase(const TestDatabase&) = delete;
    TestDatabase& operator=(const TestDatabase&) = delete;

    Backend backend() const { return backend_; }
    // False when the back end cannot be reached here (a server without ./test); see
    // ORV_SKIP_IF_UNAVAILABLE.
    bool available() const { return available_; }
    const std::string& whyUnavailable() const { return why_; }

    // The data source registered for this database, with the user and password the
    // programs use by default.
    const std::string& dsn() const { return dsn_; }
    std::string user() const { return "ORV"; }
    std::string password() const { return "KTZ"; }
    // "DSN=...;UID=ORV;PWD=KTZ;"
    std::string connectString() const;

    // Opens a new connection to this database (asserting that it opens).
    std::unique_ptr<odbc::Connection> connect() const;
    // Runs a statement on a connection of its own; fails the test on an error.
    void exec(const std::string& sql) const;
    // Runs a query and returns the first column of every row as text ("<NULL>" for NULL).
    std::vector<std::string> column(const std::string& sql) const;
    // The first column of the first row as text; "" when there is no row.
    std::string scalar(const std::string& sql) const;

    // The shared station table SITE, as a station database has it.
    void createSiteTable() const;
    // The channel table SITECHAN as the station editor binds it (depth column EDEPH),
    // or with the depth column named as given.
    void createSiteChanTable(const std::string& depthColumn = "EDEPH") const;

    // The dialect's type names for test set-up statements.
    std::string doubleType() const;
    std::string timestampType() const;
    // A text column that holds a whole response (MariaDB's TEXT ends at 64 KB).
    std::string longTextType() const;

private:
    Backend backend_;
    bool available_ = false;
    std::string why_;
    std::string dsn_;
    std::string serverDatabase_; // on PostgreSQL or MariaDB
    std::filesystem::path sqliteFile_;
};

} // namespace orv::test

#define ORV_SKIP_IF_UNAVAILABLE(db)                                                                \
    do {                                                                                           \
        if (!(db).available())                                                                     \
            GTEST_SKIP() << (db).whyUnavailable();                                                 \
    } while (0)

namespace orv::test {
// Test names and failure messages show the back end by name.
inline void PrintTo(Backend backend, std::ostream* os) {
    *os << backendName(backend);
}
} // namespace orv::test
