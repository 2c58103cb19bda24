// gainbook-cli copy through the built program: the awkward rows round the three back ends.
#include "clirunner.h"
#include "testdb.h"

#include <gtest/gtest.h>

using orv::gainbook::test::Outcome;
using orv::gainbook::test::runCli;
using orv::test::Backend;
using orv::test::TestDatabase;

namespace {

// A pole-zero text of exactly 131071 characters, most of them Cyrillic comments.
std::string longResponseText() {
    std::string text = "ZEROS 2\nPOLES 2\n-0.037 0.037\n-0.037 -0.037\nCONSTANT 6.2e+10\n";
    std::size_t chars = text.size();
    while (chars < 131071) {
        const bool cyrillic = chars + 2 <= 131071 && chars % 100 != 99;
        text += cyrillic ? "ж" : (chars % 100 == 99 ? "\n" : "*");
        ++chars;
    }
    return text;
}

Outcome copy(const orv::test::TempDir& dir, const TestDatabase& from, const TestDatabase& to,
             std::vector<std::string> more = {}) {
    std::vector<std::string> args = {
        "copy",   "--from",    from.dsn(), "--from-user",   "ORV", "--from-password", "KTZ", "--to",
        to.dsn(), "--to-user", "ORV",      "--to-password", "KTZ"};
    args.insert(args.end(), more.begin(), more.end());
    return runCli(dir.path(), args);
}

Outcome list(const orv::test::TempDir& dir, const TestDatabase& db) {
    return runCli(dir.path(), {"list", "--dsn", db.dsn(), "--user", "ORV", "--password", "KTZ"});
}

} // namespace

TEST(CliCopy, TheAwkwardRowsComeBackFromPostgreSqlAndMariaDbUnchanged) {
    TestDatabase first(Backend::SQLite);
    TestDatabase pg(Backend::PostgreSQL);
    TestDatabase mariadb(Backend::MariaDB);
    TestDatabase last(Backend::SQLite);
    ORV_SKIP_IF_UNAVAILABLE(pg);
    ORV_SKIP_IF_UNAVAILABLE(mariadb);
    orv::test::TempDir dir;
    // The response tables as the editor makes them, SITE as the station database has it.
    ASSERT_EQ(runCli(dir.path(), {"list", "--yes", "--dsn", first.dsn()}).status, 0);
    first.createSiteTable();

    const std::string text = longResponseText();
    first.exec("INSERT INTO SITE(STA,COD,NGROUPS,ELEV,LAT,DESCR,ONDATE,UNDERGROUND) "
               "VALUES('СТАНЦИЯА','KIV',1,0.12345678901234567,-1e-300,'Кировская  ',"
               "'0001-01-01 00:00:00','песок')");
    first.exec("INSERT INTO SITE(STA,LDDATE) VALUES('KIV  ','9999-12-31 23:59:59')");
    // In byte order B comes before a; MariaDB's collation puts a first.
    first.exec("INSERT INTO SITE(STA) VALUES('a'),('B')");
    // NINDEX given: MariaDB numbers a channel without one itself.
    first.exec("INSERT INTO SITECHAN(NINDEX,STA,CHAN,NGROUP,CHANINDEX,SPS,DESCR,CALIBFILE) "
               "VALUES(7,'СТАНЦИЯА','BHZ',1,0,40.000000000000007,'СКМ-3','файл.pz')");
    first.exec("INSERT INTO CALIBRATION(NETWORK,LOCATION,STA,CHAN,STARTDATE,ENDDATE,SENS,ID_SENS,"
               "FREQ,ID_FREQ,SAC,LDDATE) VALUES('KZ','00','СТАНЦИЯА','BHZ','0001-01-01 00:00:00',"
               "'9999-12-31 23:59:59',0.12345678901234567,1,1.0,0,'" +
               text + "','2020-02-29 12:34:56')");
    first.exec("INSERT INTO CALIBRATION(NETWORK,LOCATION,STA,CHAN,STARTDATE,SENS,ID_SENS,FREQ,"
               "ID_FREQ,FAP) VALUES('KZ','','KIV  ','BHZ','9999-12-31 23:59:59',2.5,1,1.0,0,"
               "'1.0 2.0 0.0|')");

    const Outcome there = copy(dir, first, pg);
    ASSERT_EQ(there.status, 0) << there.err;
    const Outcome on = copy(dir, pg, mariadb);
    ASSERT_EQ(on.status, 0) << on.err;
    const Outcome back = copy(dir, mariadb, last);
    ASSERT_EQ(back.status, 0) << back.err;
    // The same checksums (and rows) at both ends.
    EXPECT_EQ(back.out, there.out);
    EXPECT_NE(there.out.find("CALIBRATION: строк 2 (таблица создана), SHA-256 "), std::string::npos)
        << there.out;
    EXPECT_NE(there.out.find("перенесено и сверено таблиц: 5\n"), std::string::npos);

    const Outcome listed = list(dir, first);
    ASSERT_EQ(listed.status, 0) << listed.err;
    EXPECT_EQ(list(dir, last).out, listed.out);
    EXPECT_EQ(listed.out, "KZ\tKIV  \tBHZ\t\t9999.12.31 23:59:59\n"
                          "KZ\tСТАНЦИЯА\tBHZ\t00\t0001.01.01 00:00:00 / 9999.12.31 23:59:59\n");

    // Read back by SQLite itself.
    EXPECT_EQ(last.scalar("SELECT COUNT(*) FROM CALIBRATION WHERE SAC='" + text + "'"), "1");
    EXPECT_EQ(last.scalar("SELECT printf('%!.17g',SENS) FROM CALIBRATION WHERE STA='СТАНЦИЯА'"),
              "0.12345678901234566");
    EXPECT_EQ(last.scalar("SELECT printf('%!.17g',ELEV) || ' ' || printf('%!.17g',LAT) FROM "
                          "SITE WHERE STA='СТАНЦИЯА'"),
              "0.12345678901234566 -1.0e-300");
    EXPECT_EQ(last.scalar("SELECT printf('%!.17g',SPS) FROM SITECHAN"), "40.000000000000007");
    EXPECT_EQ(last.scalar("SELECT STARTDATE || '/' || ENDDATE || '/' || LDDATE FROM CALIBRATION "
                          "WHERE STA='СТАНЦИЯА'"),
              "0001-01-01 00:00:00/9999-12-31 23:59:59/2020-02-29 12:34:56");
    EXPECT_EQ(last.scalar("SELECT '[' || DESCR || ']' || ONDATE FROM SITE WHERE STA='СТАНЦИЯА'"),
              "[Кировская  ]0001-01-01 00:00:00");
    EXPECT_EQ(last.scalar("SELECT COUNT(*) FROM SITE WHERE STA='KIV  ' AND NINDEX IS NULL AND "
                          "DEAST IS NULL AND ONDATE IS NULL"),
              "1");
    EXPECT_EQ(last.scalar("SELECT COUNT(*) FROM CALIBRATION WHERE ENDDATE IS NULL AND SAC IS "
                          "NULL AND LDDATE IS NULL AND LOCATION=''"),
              "1");
    EXPECT_EQ(last.scalar("SELECT COUNT(*) FROM SITECHAN WHERE LCODE IS NULL AND NINDEX=7"), "1");
}

TEST(CliCopy, ANonEmptyTargetIsRefusedAndTheCommandLineChecked) {
    TestDatabase from(Backend::SQLite);
    TestDatabase to(Backend::SQLite);
    orv::test::TempDir dir;
    ASSERT_EQ(runCli(dir.path(), {"list", "--yes", "--dsn", from.dsn()}).status, 0);
    ASSERT_EQ(runCli(dir.path(), {"list", "--yes", "--dsn", to.dsn()}).status, 0);
    Outcome r = copy(dir, from, to);
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("таблица ID_SENS получателя не пуста (строк: 12); заменить их: "
                         "--replace\ngainbook-cli copy: ничего не записано"),
              std::string::npos)
        << r.err;
    r = copy(dir, from, to, {"--replace", "--tables", "id_sens,ID_FREQ"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out.substr(0, r.out.find(',')), "ID_SENS: строк 12");
    r = copy(dir, from, from);
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("--from и --to называют один источник данных"), std::string::npos);
    r = copy(dir, from, to, {"--tables", "ORIGIN"});
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("неизвестная таблица ORIGIN"), std::string::npos) << r.err;
}

TEST(CliCopy, NamesTheConnectStringCannotCarryCopyOverThePlainConnection) {
    TestDatabase from(Backend::SQLite);
    TestDatabase to(Backend::SQLite);
    orv::test::TempDir dir;
    ASSERT_EQ(runCli(dir.path(), {"list", "--yes", "--dsn", from.dsn()}).status, 0);
    // The SQLite driver takes any user and password.
    const Outcome r =
        runCli(dir.path(), {"copy", "--from", from.dsn(), "--from-user", "OR;V", "--from-password",
                            "K{T}Z=", "--to", to.dsn(), "--to-password", " KTZ"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.err.find("gainbook-cli copy: источник " + from.dsn() +
                         ": строки читаются целиком, без потоковой выборки: имя источника данных, "
                         "пользователь или пароль содержит"),
              std::string::npos)
        << r.err;
    EXPECT_NE(r.err.find("gainbook-cli copy: получатель " + to.dsn() + ": строки читаются целиком"),
              std::string::npos)
        << r.err;
    EXPECT_EQ(to.scalar("SELECT COUNT(*) FROM ID_SENS"), "12");
}
