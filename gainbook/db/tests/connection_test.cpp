#include "db/connection.h"

#include "privateserver.h"
#include "testdb.h"
#include "text/text.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>

using namespace orv;
using namespace orv::gainbook;
using orv::test::Backend;
using orv::test::TestDatabase;

class GainbookConnection : public testing::TestWithParam<Backend> {};

TEST_P(GainbookConnection, OpensAndListsTables) {
    TestDatabase db(GetParam());
    ORV_SKIP_IF_UNAVAILABLE(db);
    OpenResult open = openConnection({db.dsn(), db.user(), db.password()});
    ASSERT_TRUE(open.connection);
    EXPECT_FALSE(open.refused);
    auto tables = listTables(*open.connection);
    ASSERT_TRUE(tables);
    EXPECT_TRUE(tables->empty());

    db.exec("CREATE TABLE ID_FREQ (ID_FREQ INT, FREQ_UNITS VARCHAR(50))");
    tables = listTables(*open.connection);
    ASSERT_TRUE(tables);
    ASSERT_EQ(tables->size(), 1u);
    EXPECT_TRUE(text::equalsNoCase(tables->front(), "ID_FREQ"));
}

TEST_P(GainbookConnection, AFailedQueryKeepsTheConnectionUsable) {
    TestDatabase db(GetParam());
    ORV_SKIP_IF_UNAVAILABLE(db);
    OpenResult open = openConnection({db.dsn(), db.user(), db.password()});
    ASSERT_TRUE(open.connection);
    TextColumn missing = readTextColumn(*open.connection, "SELECT X FROM NO_SUCH_TABLE;");
    EXPECT_TRUE(missing.allocated);
    EXPECT_FALSE(missing.executed);
    EXPECT_FALSE(missing.diagnostic.empty());

    db.exec("CREATE TABLE ID_FREQ (ID_FREQ INT, FREQ_UNITS VARCHAR(100))");
    TextColumn empty = readTextColumn(*open.connection, "SELECT FREQ_UNITS FROM ID_FREQ;");
    EXPECT_TRUE(empty.executed);
    EXPECT_TRUE(empty.values.empty());

    db.exec("INSERT INTO ID_FREQ VALUES (0, 'Hz')");
    db.exec("INSERT INTO ID_FREQ VALUES (1, '" + std::string(70, 'x') + "')");
    TextColumn units =
        readTextColumn(*open.connection, "SELECT FREQ_UNITS FROM ID_FREQ ORDER BY ID_FREQ;");
    ASSERT_EQ(units.values.size(), 2u);
    EXPECT_EQ(units.values[0], "Hz");
    EXPECT_EQ(units.values[1], std::string(63, 'x')); // unit names are kept to 63 characters
}

TEST_P(GainbookConnection, NoUserOrPasswordCanAddAttributesToAConnectString) {
    TestDatabase db(GetParam());
    ORV_SKIP_IF_UNAVAILABLE(db);
    orv::test::TempDir dir;
    orv::test::ScopedCurrentDir here(dir.path());
    const std::string other = (dir / "other.db").string();
    const char* attributes = db.backend() == Backend::SQLite       ? "StepAPI=1;"
                             : db.backend() == Backend::PostgreSQL ? "UseDeclareFetch=1;"
                                                                   : "OPTION=1048576;";
    // Values that would end the value or start another attribute: no connection is opened
    // with them (the caller keeps its plain one), whatever the driver would have made of it.
    for (const std::string& hostile :
         {"KTZ};Database=" + other + ";X={", "KTZ;Database=" + other, std::string("K}TZ"),
          std::string("K{TZ"), std::string("K=TZ"), std::string(" KTZ")}) {
        for (const bool asUser : {false, true}) {
            const ConnectionSettings settings{db.dsn(), asUser ? hostile : db.user(),
                                              asUser ? db.password() : hostile};
            const OpenResult open = openConnection(settings, attributes);
            EXPECT_FALSE(open.connection) << hostile;
            EXPECT_FALSE(open.refused) << hostile;
        }
    }
    EXPECT_TRUE(std::filesystem::is_empty(dir.path()));
    // Plain values open the connection with the attributes.
    EXPECT_TRUE(openConnection({db.dsn(), db.user(), db.password()}, attributes).connection);
}

INSTANTIATE_TEST_SUITE_P(Backends, GainbookConnection, testing::ValuesIn(orv::test::allBackends()),
                         orv::test::backendParamName);

TEST(GainbookConnectionFailure, ARefusedConnectionCarriesTheDriverManagersText) {
    orv::test::odbcIniDir(); // the test process's own data sources
    OpenResult open = openConnection({"NO_SUCH_SOURCE", "ORV", "KTZ"});
    EXPECT_FALSE(open.connection);
    EXPECT_TRUE(open.refused);
    EXPECT_FALSE(open.diagnostic.empty());
    EXPECT_EQ(open.sqlState, "IM002");
    EXPECT_FALSE(serverUnreachable(open));
    EXPECT_EQ(failureText("подключения к базе данных", open.diagnostic),
              "При попытке подключения к базе данных произошла ошибка:\r\n" + open.diagnostic);
}

TEST(GainbookStreamingConnection, PostgreSqlReadsThroughAServerCursor) {
    TestDatabase db(Backend::PostgreSQL);
    ORV_SKIP_IF_UNAVAILABLE(db);
    const ConnectionSettings settings{db.dsn(), db.user(), db.password()};
    StreamingConnection streaming =
        openStreamingConnection(settings, openConnection(settings).connection);
    EXPECT_EQ(streaming.fallback, StreamingFallback::None);
    // While a query is read, the server lists the session's cursor.
    odbc::Statement reading(*streaming.connection);
    ASSERT_FALSE(odbc::isError(reading.execDirect("SELECT generate_series(1,5000)")));
    ASSERT_TRUE(odbc::isSuccess(reading.fetch()));
    odbc::Statement cursors(*streaming.connection);
    ASSERT_FALSE(odbc::isError(cursors.execDirect("SELECT COUNT(*) FROM pg_cursors")));
    ASSERT_TRUE(odbc::isSuccess(cursors.fetch()));
    EXPECT_GE(cursors.getInteger(1).value_or(0), 1);
}
namespace {

double secondsOf(const std::function<void()>& f) {
    const auto start = std::chrono::steady_clock::now();
    f();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

} // namespace

class GainbookConnectionServer : public testing::TestWithParam<Backend> {};

// A login the server refuses is a setting to mend; a server that is stopped, or that hangs,
// is away for a while. With a timeout, neither a connection attempt nor (on MariaDB, whose
// driver bounds its reads) a statement waits for a hung server longer than the timeout.
TEST_P(GainbookConnectionServer, TellsARefusedLoginFromAServerAwayAndBoundsTheWait) {
    orv::test::PrivateServer server(GetParam());
    if (!server.available())
        GTEST_SKIP() << server.whyUnavailable();
    TestDatabase db(GetParam());
    ORV_SKIP_IF_UNAVAILABLE(db);
    const bool maria = GetParam() == Backend::MariaDB;
    const OpenResult refused =
        openConnection({db.dsn(), maria ? db.user() : "no_such_role", maria ? "wrong" : ""});
    ASSERT_TRUE(refused.refused);
    EXPECT_FALSE(serverUnreachable(refused)) << refused.sqlState << " " << refused.diagnostic;

    const ConnectionSettings bounded{db.dsn(), db.user(), db.password(), 2};
    OpenResult open = openConnection(bounded);
    ASSERT_TRUE(open.connection) << open.diagnostic;
    // The server's own bound on a statement (PostgreSQL) or the driver's on its reads.
    odbc::Statement sleeping(*open.connection);
    EXPECT_LT(secondsOf([&] {
                  EXPECT_TRUE(odbc::isError(
                      sleeping.execDirect(maria ? "SELECT SLEEP(5)" : "SELECT pg_sleep(5)")));
              }),
              4.5);

    OpenResult beforeFreeze = openConnection(bounded);
    ASSERT_TRUE(beforeFreeze.connection);
    ASSERT_TRUE(server.freeze());
    OpenResult hung;
    EXPECT_LT(secondsOf([&] { hung = openConnection(bounded); }), 4.5);
    EXPECT_TRUE(hung.refused);
    EXPECT_TRUE(serverUnreachable(hung)) << hung.sqlState << " " << hung.diagnostic;
    if (maria) {
        odbc::Statement st(*beforeFreeze.connection);
        EXPECT_LT(secondsOf([&] { EXPECT_TRUE(odbc::isError(st.execDirect("SELECT 1"))); }), 4.5);
    }
    ASSERT_TRUE(server.thaw());

    ASSERT_TRUE(server.halt());
    const OpenResult down = openConnection(bounded);
    EXPECT_TRUE(down.refused);
    EXPECT_TRUE(serverUnreachable(down)) << down.sqlState << " " << down.diagnostic;
    ASSERT_TRUE(server.resume());
    EXPECT_TRUE(openConnection(bounded).connection);
}

INSTANTIATE_TEST_SUITE_P(Servers, GainbookConnectionServer,
                         testing::Values(Backend::PostgreSQL, Backend::MariaDB),
                         orv::test::backendParamName);
