#include "testdb.h"

#include <atomic>
#include <cstdlib>
#include <fstream>
#include <unistd.h>

namespace orv::test {

namespace {

const char* env(const char* name) {
    const char* v = std::getenv(name);
    return v && *v ? v : nullptr;
}

std::string findDriver(const char* file) {
    for (const char* dir :
         {"/usr/lib/x86_64-linux-gnu/odbc", "/usr/lib/aarch64-linux-gnu/odbc",
          "/usr/lib/i386-linux-gnu/odbc", "/usr/lib/odbc", "/usr/lib64", "/usr/local/lib"}) {
        const std::filesystem::path p = std::filesystem::path(dir) / file;
        if (std::filesystem::exists(p))
            return p.string();
    }
    return {};
}

std::filesystem::path makeTempDir(const char* prefix) {
    std::string templ =
        (std::filesystem::temp_directory_path() / (std::string(prefix) + "XXXXXX")).string();
    if (!mkdtemp(templ.data()))
        throw std::runtime_error("cannot create a temporary directory");
    return templ;
}

std::string uniqueSuffix() {
    static std::atomic<int> counter{0};
    return std::to_string(getpid()) + "_" + std::to_string(++counter);
}

void appendFile(const std::filesystem::path& file, const std::string& textToAdd) {
    std::ofstream out(file, std::ios::app);
    out << textToAdd;
}

// What the tests need to know of a server back end: where ./test says it is, how the
// administrator reaches it, and the data source entry of one database on it.
struct Server {
    const char* name;
    const char* locationVariable; // names the server; unset outside ./test
    const char* requireVariable;  // set by ./test: a missing server is a failure
    std::string (*adminConnectString)();
    std::string (*dsnEntry)(const std::string& database);
    const char* dropOptions; // after "DROP DATABASE IF EXISTS name"
};

std::string envOr(const char* name, const char* fallback) {
    return env(name) ? env(name) : fallback;
}

const Server kPostgreSQL{
    "PostgreSQL",
    "ORV_TEST_PG_HOST",
    "ORV_TEST_REQUIRE_PG",
    [] {
        return "Driver=" + driverPath(Backend::PostgreSQL) +
               ";Servername=" + envOr("ORV_TEST_PG_HOST", "") +
               ";Port=" + envOr("ORV_TEST_PG_PORT", "5432") +
               ";Database=postgres;UID=" + envOr("ORV_TEST_PG_USER", "postgres") + ";PWD=;";
    },
    [](const std::string& database) {
        return "Driver=PostgreSQL Unicode\nServername=" + envOr("ORV_TEST_PG_HOST", "") +
               "\nPort=" + envOr("ORV_TEST_PG_PORT", "5432") + "\nDatabase=" + database + "\n";
    },
    " WITH (FORCE)"};

// The MariaDB driver reaches a server on the local socket when the server is "localhost".
const Server kMariaDB{"MariaDB",
                      "ORV_TEST_MARIADB_SOCKET",
                      "ORV_TEST_REQUIRE_MARIADB",
                      [] {
                          return "Driver=" + driverPath(Backend::MariaDB) +
                                 ";Server=localhost;Socket=" +
                                 envOr("ORV_TEST_MARIADB_SOCKET", "") +
                                 ";UID=" + envOr("ORV_TEST_MARIADB_USER", "root") + ";PWD=;";
                      },
                      [](const std::string& database) {
                          return "Driver=MariaDB Unicode\nServer=localhost\nSocket=" +
                                 envOr("ORV_TEST_MARIADB_SOCKET", "") + "\nDatabase=" + database +
                                 "\nCharset=utf8mb4\n";
                      },
                      ""};

const Server& server(Backend backend) {
    return backend == Backend::MariaDB ? kMariaDB : kPostgreSQL;
}

bool adminExec(const Server& server, const std::string& sql, std::string& error) {
    odbc::Connection c;
    if (odbc::isError(c.driverConnect(server.adminConnectString()))) {
        error = c.diagnostic();
        return false;
    }
    odbc::Statement st(c);
    if (odbc::isError(st.execDirect(sql))) {
        error = st.diagnostic();
        return false;
    }
    return true;
}

} // namespace

std::string backendName(Backend backend) {
    switch (backend) {
    case Backend::SQLite:
        return "SQLite";
    case Backend::PostgreSQL:
        return "PostgreSQL";
    case Backend::MariaDB:
        break;
    }
    return "MariaDB";
}

std::vector<Backend> allBackends() {
    return {Backend::SQLite, Backend::PostgreSQL, Backend::MariaDB};
}

std::string backendParamName(const testing::TestParamInfo<Backend>& info) {
    return backendName(info.param);
}

std::string driverPath(Backend backend) {
    switch (backend) {
    case Backend::SQLite:
        return findDriver("libsqlite3odbc.so");
    case Backend::PostgreSQL:
        return findDriver("psqlodbcw.so");
    case Backend::MariaDB:
        break;
    }
    return findDriver("libmaodbc.so");
}

const std::filesystem::path& odbcIniDir() {
    static const std::filesystem::path dir = [] {
        const std::filesystem::path d = makeTempDir("orv-odbc-");
        std::ofstream inst(d / "odbcinst.ini");
        inst << "[SQLite3]\nDescription=SQLite3 ODBC Driver\nDriver=" << driverPath(Backend::SQLite)
             << "\n\n[PostgreSQL Unicode]\nDescription=PostgreSQL ODBC driver (Unicode version)\n"
             << "Driver=" << driverPath(Backend::PostgreSQL) << "\n\n[MariaDB Unicode]\n"
             << "Description=MariaDB Connector/ODBC\nDriver=" << driverPath(Backend::MariaDB)
             << "\n\n";
        inst.close();
        std::ofstream(d / "odbc.ini").close();
        std::ofstream(d / "user-odbc.ini").close();
        setenv("ODBCSYSINI", d.c_str(), 1);
        setenv("ODBCINI", (d / "user-odbc.ini").c_str(), 1);
        // The shared settings file of the programs lives here too, unless a test says otherwise.
        setenv("ORV_SETTINGS_DIR", (d / "settings").c_str(), 1);
        // And the machine's, so that no test reads this machine's /etc/orv.
        setenv("ORV_MACHINE_SETTINGS_DIR", (d / "machine").c_str(), 1);
        // Removed at exit; the path is kept apart from this static, which is gone by then.
        static const std::string* toRemove = new std::string(d.string());
        std::atexit([] {
            std::error_code ec;
            std::filesystem::remove_all(*toRemove, ec);
        });
        return d;
    }();
    return dir;
}

// --- TempDir / ScopedEnv / ScopedCurrentDir ----------------------------------------------

TempDir::TempDir() : path_(makeTempDir("orv-test-")) {}

TempDir::~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
}

ScopedEnv::ScopedEnv(const char* name, const char* value) : name_(name) {
    if (const char* old = std::getenv(name)) {
        hadOld_ = true;
        old_ = old;
    }
    if (value)
        setenv(name, value, 1);
    else
        unsetenv(name);
}

ScopedEnv::~ScopedEnv() {
    if (hadOld_)
        setenv(name_.c_str(), old_.c_str(), 1);
    else
        unsetenv(name_.c_str());
}

ScopedCurrentDir::ScopedCurrentDir(const std::filesystem::path& dir)
    : old_(std::filesystem::current_path()) {
    std::filesystem::current_path(dir);
}

ScopedCurrentDir::~ScopedCurrentDir() {
    std::error_code ec;
    std::filesystem::current_path(old_, ec);
}

// --- TestDatabase -----------------------------------------------------------------------

TestDatabase::TestDatabase(Backend backend) : backend_(backend) {
    const auto& dir = odbcIniDir();
    const std::string suffix = uniqueSuffix();
    dsn_ = "ORVTEST_" + backendName(backend) + "_" + suffix;
    if (driverPath(backend).empty()) {
        why_ = "the " + backendName(backend) + " ODBC driver is not installed";
        ADD_FAILURE() << why_;
        return;
    }
    if (backend == Backend::SQLite) {
        sqliteFile_ = dir / ("db_" + suffix + ".sqlite");
        appendFile(dir / "odbc.ini",
                   "[" + dsn_ + "]\nDriver=SQLite3\nDatabase=" + sqliteFile_.string() + "\n\n");
        available_ = true;
        return;
    }
    const Server& srv = server(backend);
    if (!env(srv.locationVariable)) {
        why_ = std::string("no ") + srv.name + " test server (run the tests with ./test)";
        if (env(srv.requireVariable))
            ADD_FAILURE() << why_;
        return;
    }
    const std::string database = "orv_test_" + suffix;
    std::string error;
    if (!adminExec(srv, "CREATE DATABASE " + database, error)) {
        why_ = std::string("cannot create the ") + srv.name + " test database: " + error;
        ADD_FAILURE() << why_;
        return;
    }
    serverDatabase_ = database;
    appendFile(dir / "odbc.ini", "[" + dsn_ + "]\n" + srv.dsnEntry(database) + "\n");
    available_ = true;
}

TestDatabase::~TestDatabase() {
    std::error_code ec;
    if (!sqliteFile_.empty())
        std::filesystem::remove(sqliteFile_, ec);
    if (!serverDatabase_.empty()) {
        const Server& srv = server(backend_);
        std::string error;
        adminExec(srv, "DROP DATABASE IF EXISTS " + serverDatabase_ + srv.dropOptions, error);
    }
}

std::string TestDatabase::connectString() const {
    return "DSN=" + dsn_ + ";UID=" + user() + ";PWD=" + password() + ";";
}

std::unique_ptr<odbc::Connection> TestDatabase::connect() const {
    auto c = std::make_unique<odbc::Connection>();
    const SQLRETURN rc = c->connect(dsn_, user(), password());
    EXPECT_FALSE(odbc::isError(rc)) << "cannot connect to " << dsn_ << ": " << c->diagnostic();
    return c;
}

void TestDatabase::exec(const std::string& sql) const {
    auto c = connect();
    odbc::Statement st(*c);
    const SQLRETURN rc = st.execDirect(sql);
    ASSERT_FALSE(odbc::isError(rc)) << sql << "\n" << st.diagnostic();
}

std::vector<std::string> TestDatabase::column(const std::string& sql) const {
    std::vector<std::string> out;
    auto c = connect();
    odbc::Statement st(*c);
    const SQLRETURN rc = st.execDirect(sql);
    EXPECT_FALSE(odbc::isError(rc)) << sql << "\n" << st.diagnostic();
    if (odbc::isError(rc))
        return out;
    while (odbc::isSuccess(st.fetch()))
        out.push_back(st.getText(1).value_or("<NULL>"));
    return out;
}

std::string TestDatabase::scalar(const std::string& sql) const {
    const auto values = column(sql);
    return values.empty() ? std::string() : values.front();
}

std::string TestDatabase::doubleType() const {
    return backend_ == Backend::SQLite ? "DOUBLE" : "DOUBLE PRECISION";
}

std::string TestDatabase::timestampType() const {
    // MariaDB's TIMESTAMP ends in 2038 and follows the session's time zone.
    return backend_ == Backend::MariaDB ? "DATETIME" : "TIMESTAMP";
}

std::string TestDatabase::longTextType() const {
    return backend_ == Backend::MariaDB ? "MEDIUMTEXT" : "TEXT";
}

void TestDatabase::createSiteTable() const {
    const std::string d = doubleType();
    const std::string t = timestampType();
    exec("CREATE TABLE SITE (STA VARCHAR(8) NOT NULL PRIMARY KEY, COD VARCHAR(6), NGROUPS INT, "
         "ELEV " +
         d + ", LAT " + d + ", LON " + d + ", DESCR VARCHAR(50), LDDATE " + t +
         ", NINDEX INT, DEAST " + d + ", DNORTH " + d +
         ", REFSTA VARCHAR(16), STANAME VARCHAR(50), STATYPE VARCHAR(50), UNDERGROUND "
         "VARCHAR(250), ONDATE " +
         t + ", OFFDATE " + t + ")");
}

void TestDatabase::createSiteChanTable(const std::string& depthColumn) const {
    const std::string d = doubleType();
    exec("CREATE TABLE SITECHAN (STA VARCHAR(8) NOT NULL, CHAN VARCHAR(8) NOT NULL, "
         "NGROUP INT NOT NULL, CHANINDEX INT, " +
         depthColumn + " " + d + ", LAT " + d + ", LON " + d + ", SPS " + d + ", HANG " + d +
         ", VANG " + d + ", DESCR VARCHAR(128), CALIBFILE VARCHAR(255), LCODE VARCHAR(8), LDDATE " +
         timestampType() + ")");
}

} // namespace orv::test
