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

std::string pgAdminConnectString(const std::string& database) {
    std::string s =
        "Driver=" + driverPath(Backend::PostgreSQL) + ";Servername=" + env("ORV_TEST_PG_HOST") +
        ";Port=" + (env("ORV_TEST_PG_PORT") ? env("ORV_TEST_PG_PORT") : "5432") +
        ";Database=" + database +
        ";UID=" + (env("ORV_TEST_PG_USER") ? env("ORV_TEST_PG_USER") : "postgres") + ";PWD=;";
    return s;
}

bool pgAdminExec(const std::string& sql, std::string& error) {
    odbc::Connection c;
    if (odbc::isError(c.driverConnect(pgAdminConnectString("postgres")))) {
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
    return backend == Backend::SQLite ? "SQLite" : "PostgreSQL";
}

std::vector<Backend> allBackends() {
    return {Backend::SQLite, Backend::PostgreSQL};
}

std::string backendParamName(const testing::TestParamInfo<Backend>& info) {
    return backendName(info.param);
}

std::string driverPath(Backend backend) {
    return findDriver(backend == Backend::SQLite ? "libsqlite3odbc.so" : "psqlodbcw.so");
}

const std::filesystem::path& odbcIniDir() {
    static const std::filesystem::path dir = [] {
        const std::filesystem::path d = makeTempDir("orv-odbc-");
        std::ofstream inst(d / "odbcinst.ini");
        inst << "[SQLite3]\nDescription=SQLite3 ODBC Driver\nDriver=" << driverPath(Backend::SQLite)
             << "\n\n[PostgreSQL Unicode]\nDescription=PostgreSQL ODBC driver (Unicode version)\n"
             << "Driver=" << driverPath(Backend::PostgreSQL) << "\n\n";
        inst.close();
        std::ofstream(d / "odbc.ini").close();
        std::ofstream(d / "user-odbc.ini").close();
        setenv("ODBCSYSINI", d.c_str(), 1);
        setenv("ODBCINI", (d / "user-odbc.ini").c_str(), 1);
        // The shared settings file of the programs lives here too, unless a test says otherwise.
        setenv("ORV_SETTINGS_DIR", (d / "settings").c_str(), 1);
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
    if (!env("ORV_TEST_PG_HOST")) {
        why_ = "no PostgreSQL test server (run the tests with ./test)";
        if (env("ORV_TEST_REQUIRE_PG"))
            ADD_FAILURE() << why_;
        return;
    }
    pgDatabase_ = "orv_test_" + suffix;
    std::string error;
    if (!pgAdminExec("CREATE DATABASE " + pgDatabase_, error)) {
        why_ = "cannot create the PostgreSQL test database: " + error;
        ADD_FAILURE() << why_;
        pgDatabase_.clear();
        return;
    }
    appendFile(dir / "odbc.ini",
               "[" + dsn_ + "]\nDriver=PostgreSQL Unicode\nServername=" + env("ORV_TEST_PG_HOST") +
                   "\nPort=" + (env("ORV_TEST_PG_PORT") ? env("ORV_TEST_PG_PORT") : "5432") +
                   "\nDatabase=" + pgDatabase_ + "\n\n");
    available_ = true;
}

TestDatabase::~TestDatabase() {
    std::error_code ec;
    if (!sqliteFile_.empty())
        std::filesystem::remove(sqliteFile_, ec);
    if (!pgDatabase_.empty()) {
        std::string error;
        pgAdminExec("DROP DATABASE IF EXISTS " + pgDatabase_ + " WITH (FORCE)", error);
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
    return "TIMESTAMP";
}

void TestDatabase::createSiteTable() const {
    const std::string d = doubleType();
    exec("CREATE TABLE SITE (STA VARCHAR(8) NOT NULL PRIMARY KEY, COD VARCHAR(6), NGROUPS INT, "
         "ELEV " +
         d + ", LAT " + d + ", LON " + d +
         ", DESCR VARCHAR(50), LDDATE TIMESTAMP, "
         "NINDEX INT, DEAST " +
         d + ", DNORTH " + d +
         ", REFSTA VARCHAR(16), STANAME VARCHAR(50), "
         "STATYPE VARCHAR(50), UNDERGROUND VARCHAR(250), ONDATE TIMESTAMP, OFFDATE TIMESTAMP)");
}

void TestDatabase::createSiteChanTable(const std::string& depthColumn) const {
    const std::string d = doubleType();
    exec("CREATE TABLE SITECHAN (STA VARCHAR(8) NOT NULL, CHAN VARCHAR(8) NOT NULL, "
         "NGROUP INT NOT NULL, CHANINDEX INT, " +
         depthColumn + " " + d + ", LAT " + d + ", LON " + d + ", SPS " + d + ", HANG " + d +
         ", VANG " + d +
         ", DESCR VARCHAR(128), CALIBFILE VARCHAR(255), LCODE VARCHAR(8), LDDATE TIMESTAMP)");
}

} // namespace orv::test
