// Copying an archive between back ends: refusals, a server lost half way, codes that
// differ only in case, texts the target would cut.
#include "db/archivecopy.h"
#include "db/schema.h"
#include "privateserver.h"
#include "testdb.h"
#include "ui/scripted.h"

#include <gtest/gtest.h>

#include <filesystem>

using orv::gainbook::Schema;
using orv::gainbook::copy::copyArchive;
using orv::gainbook::copy::CopyOptions;
using orv::test::Backend;
using orv::test::TestDatabase;

namespace {

// The tables as the programs make them; without SITECHAN and CALIBRATION when told.
void makeTables(const TestDatabase& db, bool all = true) {
    auto connection = db.connect();
    orv::ui::ScriptedInteraction ui;
    Schema schema(*connection, ui);
    ASSERT_TRUE(schema.detectKind());
    ASSERT_TRUE(schema.createSite());
    ASSERT_TRUE(!all || schema.createSiteChan());
    ASSERT_TRUE(schema.createIdSens());
    ASSERT_TRUE(schema.createIdFreq());
    ASSERT_TRUE(!all || schema.createCalibration());
}

std::string date(const TestDatabase& db, const std::string& text) {
    return db.backend() == Backend::SQLite ? "'" + text + "'" : "TIMESTAMP '" + text + "'";
}

void addResponse(const TestDatabase& db, const std::string& station, const std::string& start,
                 const std::string& text = "ZEROS 0") {
    db.exec("INSERT INTO CALIBRATION(NETWORK,LOCATION,STA,CHAN,STARTDATE,SENS,ID_SENS,FREQ,"
            "ID_FREQ,SAC) VALUES('KZ','00','" +
            station + "','BHZ'," + date(db, start) + ",1.5,1,1.0,0,'" + text + "')");
}

// Key and text of every response, in an order of the test's own.
std::vector<std::string> responses(const TestDatabase& db) {
    auto rows = db.column("SELECT STA || '|' || SAC FROM CALIBRATION");
    if (db.backend() == Backend::MariaDB)
        rows = db.column("SELECT CONCAT(STA, '|', SAC) FROM CALIBRATION");
    std::sort(rows.begin(), rows.end());
    return rows;
}

class ArchiveCopyInto : public testing::TestWithParam<Backend> {};

} // namespace

TEST_P(ArchiveCopyInto, ATargetWithRowsIsRefusedWithoutReplaceAndReplacedWithIt) {
    TestDatabase source(Backend::SQLite);
    TestDatabase target(GetParam());
    ORV_SKIP_IF_UNAVAILABLE(target);
    makeTables(source);
    makeTables(target);
    addResponse(source, "NEW", "2010-01-01 00:00:00");
    addResponse(target, "OLD", "2001-01-01 00:00:00");
    target.exec("INSERT INTO SITE(STA,DESCR) VALUES('OLD','старая')");
    auto from = source.connect();
    auto to = target.connect();

    CopyOptions options;
    options.tables = {"CALIBRATION", "ID_SENS"};
    auto report = copyArchive(*from, *to, options);
    EXPECT_FALSE(report.ok);
    EXPECT_NE(report.error.find("таблица ID_SENS получателя не пуста (строк: 12)"),
              std::string::npos)
        << report.error;
    EXPECT_EQ(responses(target), std::vector<std::string>{"OLD|ZEROS 0"});

    options.replace = true;
    report = copyArchive(*from, *to, options);
    ASSERT_TRUE(report.ok) << report.error;
    EXPECT_EQ(responses(target), std::vector<std::string>{"NEW|ZEROS 0"});
    // A table not named is not touched.
    EXPECT_EQ(target.scalar("SELECT DESCR FROM SITE"), "старая");
    ASSERT_EQ(report.tables.size(), 2u);
    EXPECT_EQ(report.tables[0].table, "ID_SENS");
    EXPECT_EQ(report.tables[1].copied, 1);
    EXPECT_EQ(report.tables[1].sourceChecksum, report.tables[1].targetChecksum);
}

TEST_P(ArchiveCopyInto, ATextTheTargetWouldCutIsRefusedNamingItsRow) {
    if (GetParam() == Backend::SQLite)
        GTEST_SKIP() << "SQLite keeps texts of any length";
    TestDatabase source(Backend::SQLite);
    TestDatabase target(GetParam());
    ORV_SKIP_IF_UNAVAILABLE(target);
    makeTables(source);
    addResponse(source, "KIV", "2010-01-01 00:00:00");
    addResponse(source, "ДЕВЯТЬБУКВ", "2010-01-01 00:00:00");
    auto from = source.connect();
    auto to = target.connect();
    const auto report = copyArchive(*from, *to, {});
    EXPECT_FALSE(report.ok);
    EXPECT_NE(report.error.find("CALIBRATION, NETWORK='KZ', LOCATION='00', STA='ДЕВЯТЬБУКВ', "
                                "CHAN='BHZ', STARTDATE=2010-01-01 00:00:00: текст столбца STA "
                                "(10 символов) не помещается"),
              std::string::npos)
        << report.error;
    // Nothing was made or kept.
    EXPECT_FALSE(target.connect()->tableExists("CALIBRATION"));
    EXPECT_FALSE(target.connect()->tableExists("SITE"));
}

TEST_P(ArchiveCopyInto, ARowTheTargetRefusesHalfWayLeavesItAsItWas) {
    TestDatabase source(Backend::SQLite);
    TestDatabase target(GetParam());
    ORV_SKIP_IF_UNAVAILABLE(target);
    // A station table without key: the second "X" is a duplicate in the target's.
    source.exec("CREATE TABLE SITE(STA VARCHAR(8),DESCR VARCHAR(50))");
    source.exec("INSERT INTO SITE VALUES('A','новая'),('X','1'),('X','2')");
    makeTables(target);
    target.exec("INSERT INTO SITE(STA,DESCR) VALUES('OLD','старая')");
    auto from = source.connect();
    auto to = target.connect();
    CopyOptions options;
    options.replace = true;
    options.batchRows = 1;
    const auto report = copyArchive(*from, *to, options);
    EXPECT_FALSE(report.ok);
    EXPECT_NE(report.error.find("SITE, STA='X': "), std::string::npos) << report.error;
    EXPECT_EQ(target.column(GetParam() == Backend::MariaDB
                                ? "SELECT CONCAT(STA, '|', DESCR) FROM SITE"
                                : "SELECT STA || '|' || DESCR FROM SITE"),
              std::vector<std::string>{"OLD|старая"});
}

TEST_P(ArchiveCopyInto, AValueItsColumnDoesNotHoldAsItIsIsRefusedNamingRowAndColumn) {
    TestDatabase source(Backend::SQLite);
    TestDatabase target(GetParam());
    ORV_SKIP_IF_UNAVAILABLE(target);
    makeTables(source);
    source.exec("INSERT INTO SITE(STA) VALUES('A'),('KIV')");
    CopyOptions options;
    options.tables = {"SITE"};
    // SQLite keeps what its column's type cannot take as it was given: each such value, as
    // SQLite's own quote() shows it, and what the copy says of it.
    const struct {
        const char* column;
        const char* stored;
        const char* refusal;
    } odd[] = {
        {"LAT", "'abc'", "столбец LAT (число): хранится текст 'abc'"},
        {"LAT", "''", "столбец LAT (число): хранится текст ''"},
        {"LAT", "X'01'", "столбец LAT (число): хранится двоичное значение X'01'"},
        {"NGROUPS", "1.5", "столбец NGROUPS (целое число): хранится дробное число 1.5"},
        {"NGROUPS", "'abc'", "столбец NGROUPS (целое число): хранится текст 'abc'"},
        {"ONDATE", "'2020-13-45'", "столбец ONDATE (дата): хранится текст '2020-13-45', а не дата"},
        {"ONDATE", "'2021-02-30 00:00:00'",
         "столбец ONDATE (дата): хранится текст '2021-02-30 00:00:00', а не дата"},
        {"ONDATE", "'2020-01-01 00:00:00.5'",
         "столбец ONDATE (дата): хранится текст '2020-01-01 00:00:00.5', а не дата"},
        {"ONDATE", "20200101", "столбец ONDATE (дата): хранится целое число 20200101"},
        {"ONDATE", "'2020-01-01 00:00:00' || char(0) || 'x'",
         "столбец ONDATE (дата): хранится текст с байтом NUL"},
        {"DESCR", "'a' || char(0) || 'b'", "столбец DESCR (текст): хранится текст с байтом NUL"},
        {"DESCR", "X'414243'", "столбец DESCR (текст): хранится двоичное значение X'414243'"},
    };
    for (const auto& value : odd) {
        source.exec(std::string("UPDATE SITE SET ") + value.column + "=" + value.stored +
                    " WHERE STA='KIV'");
        const auto report = copyArchive(*source.connect(), *target.connect(), options);
        EXPECT_FALSE(report.ok) << value.stored;
        EXPECT_EQ(report.error, std::string("SITE, источник: STA='KIV', ") + value.refusal +
                                    "; перенести его как есть нельзя")
            << value.stored;
        EXPECT_FALSE(target.connect()->tableExists("SITE")) << value.stored;
        source.exec(std::string("UPDATE SITE SET ") + value.column + "=NULL");
    }
    // What SQLite's column types turned into their own kind arrives.
    source.exec("UPDATE SITE SET LAT='1.5',NGROUPS=2.0,ONDATE='2020-01-01 00:00:00.000',"
                "OFFDATE='2021-06-01',DESCR='ж' WHERE STA='KIV'");
    const auto report = copyArchive(*source.connect(), *target.connect(), options);
    ASSERT_TRUE(report.ok) << report.error;
    std::vector<std::string> arrived;
    for (const char* column : {"LAT", "NGROUPS", "ONDATE", "OFFDATE", "DESCR"})
        arrived.push_back(
            target.scalar(std::string("SELECT ") + column + " FROM SITE WHERE STA='KIV'"));
    EXPECT_EQ(arrived, (std::vector<std::string>{"1.5", "2", "2020-01-01 00:00:00",
                                                 "2021-06-01 00:00:00", "ж"}));
}

// A double arrives bit for bit, whatever its size: SQLite's own printing misses the 17th
// digit of some from about 1e100 up (the largest double comes out as the one below it). Each
// is written as a literal that every back end reads back to the same double.
TEST_P(ArchiveCopyInto, ADoubleOfAnySizeArrivesAsItIsStored) {
    TestDatabase source(Backend::SQLite);
    TestDatabase target(GetParam());
    ORV_SKIP_IF_UNAVAILABLE(target);
    makeTables(source);
    const std::vector<std::string> values{"1.7976931348623157e+308",
                                          "-1.7976931348623157e+308",
                                          "1.3900515367702205e+209",
                                          "1e+100",
                                          "5e-324",
                                          "0.1"};
    for (std::size_t i = 0; i < values.size(); ++i)
        source.exec("INSERT INTO SITE(STA,LAT) VALUES('S" + std::to_string(i) + "'," + values[i] +
                    ")");
    CopyOptions options;
    options.tables = {"SITE"};
    const auto report = copyArchive(*source.connect(), *target.connect(), options);
    ASSERT_TRUE(report.ok) << report.error;
    for (std::size_t i = 0; i < values.size(); ++i)
        EXPECT_EQ(target.scalar("SELECT COUNT(*) FROM SITE WHERE STA='S" + std::to_string(i) +
                                "' AND LAT=" + values[i]),
                  "1")
            << values[i];
}

TEST_P(ArchiveCopyInto, ARowTheTargetRefusesInAnArrayIsNamedItself) {
    TestDatabase source(Backend::SQLite);
    TestDatabase target(GetParam());
    ORV_SKIP_IF_UNAVAILABLE(target);
    // Without a key, the source can hold a station twice.
    source.exec("CREATE TABLE SITE(STA VARCHAR(8),NGROUPS INT,DESCR VARCHAR(50))");
    source.exec("INSERT INTO SITE VALUES('A1',1,''),('A2',1,''),('A3',1,''),('A4',1,''),"
                "('A5',1,''),('A6',1,''),('A7',1,''),('A8',1,'')");
    makeTables(target);
    CopyOptions options;
    options.tables = {"SITE"};
    const auto copied = [&] {
        const auto report = copyArchive(*source.connect(), *target.connect(), options);
        EXPECT_EQ(target.scalar("SELECT COUNT(*) FROM SITE"), "0");
        return report.ok ? "" : report.error;
    };
    if (GetParam() != Backend::SQLite) {
        // A number the target's INT cannot hold, a text in Windows-1251.
        source.exec("UPDATE SITE SET NGROUPS=3000000000 WHERE STA='A7'");
        const std::string range = copied();
        EXPECT_EQ(range.rfind("SITE, STA='A7': ", 0), 0u) << range;
        source.exec("UPDATE SITE SET NGROUPS=1");
        source.exec("UPDATE SITE SET DESCR=CAST(X'CAE8E5E2' AS TEXT) WHERE STA='A6'");
        const std::string encoding = copied();
        EXPECT_EQ(encoding.rfind("SITE, STA='A6': ", 0), 0u) << encoding;
        source.exec("UPDATE SITE SET DESCR=''");
    }
    // A duplicate key: no driver says which row of the array it was, none is named.
    source.exec("UPDATE SITE SET STA='A5' WHERE STA='A6'");
    const std::string duplicate = copied();
    EXPECT_EQ(duplicate.rfind("SITE, одна из строк от STA='A1' до STA='A8': ", 0), 0u) << duplicate;
}

INSTANTIATE_TEST_SUITE_P(Backends, ArchiveCopyInto, testing::ValuesIn(orv::test::allBackends()),
                         orv::test::backendParamName);

TEST(ArchiveCopy, CodesThatDifferOnlyInCaseReachPostgreSqlButNotMariaDb) {
    TestDatabase source(Backend::SQLite);
    TestDatabase pg(Backend::PostgreSQL);
    TestDatabase mariadb(Backend::MariaDB);
    ORV_SKIP_IF_UNAVAILABLE(pg);
    ORV_SKIP_IF_UNAVAILABLE(mariadb);
    makeTables(source);
    addResponse(source, "kiv", "2010-01-01 00:00:00", "lower");
    addResponse(source, "KIV", "2010-01-01 00:00:00", "upper");
    auto from = source.connect();
    auto toPg = pg.connect();
    const auto copied = copyArchive(*from, *toPg, {});
    ASSERT_TRUE(copied.ok) << copied.error;
    EXPECT_EQ(responses(pg), (std::vector<std::string>{"KIV|upper", "kiv|lower"}));

    // MariaDB compares codes without regard to case: the second is a duplicate key there.
    auto fromPg = pg.connect();
    auto toMariaDb = mariadb.connect();
    const auto refused = copyArchive(*fromPg, *toMariaDb, {});
    EXPECT_FALSE(refused.ok);
    EXPECT_NE(refused.error.find("CALIBRATION, одна из строк от NETWORK='KZ', LOCATION='00', "
                                 "STA='KIV', CHAN='BHZ', STARTDATE=2010-01-01 00:00:00 до "
                                 "NETWORK='KZ', LOCATION='00', STA='kiv'"),
              std::string::npos)
        << refused.error;
    EXPECT_NE(refused.error.find("Duplicate entry"), std::string::npos) << refused.error;
    // The tables the copy made there are gone again.
    for (const char* table : {"SITE", "SITECHAN", "ID_SENS", "ID_FREQ", "CALIBRATION"})
        EXPECT_FALSE(mariadb.connect()->tableExists(table)) << table;
}

TEST(ArchiveCopy, ServerDatesThatAreNoDatesAreRefusedNamingRowAndColumn) {
    TestDatabase pg(Backend::PostgreSQL);
    TestDatabase mariadb(Backend::MariaDB);
    ORV_SKIP_IF_UNAVAILABLE(pg);
    ORV_SKIP_IF_UNAVAILABLE(mariadb);
    makeTables(pg);
    makeTables(mariadb);
    // Their drivers give some date or NULL for these.
    pg.exec("INSERT INTO SITE(STA,ONDATE) VALUES('A','2020-01-01'),('KIV','infinity')");
    mariadb.exec("INSERT INTO SITE(STA,OFFDATE) VALUES('A','2020-01-01'),('KIV','0000-00-00')");
    CopyOptions options;
    options.tables = {"SITE"};
    TestDatabase target(Backend::SQLite);
    auto report = copyArchive(*pg.connect(), *target.connect(), options);
    EXPECT_EQ(report.error, "SITE, источник: STA='KIV', столбец ONDATE (дата): хранится "
                            "'infinity', а не дата; перенести его как есть нельзя");
    report = copyArchive(*mariadb.connect(), *target.connect(), options);
    EXPECT_EQ(report.error, "SITE, источник: STA='KIV', столбец OFFDATE (дата): хранится "
                            "'0000-00-00 00:00:00', а не дата; перенести его как есть нельзя");
    EXPECT_FALSE(target.connect()->tableExists("SITE"));
}

TEST(ArchiveCopy, AFailedReplaceOnMariaDbLeavesItsRowsAndDropsOnlyTheTablesItMade) {
    TestDatabase source(Backend::SQLite);
    TestDatabase mariadb(Backend::MariaDB);
    ORV_SKIP_IF_UNAVAILABLE(mariadb);
    makeTables(source);
    source.exec("INSERT INTO SITE(STA,DESCR) VALUES('NEW','новая')");
    // A double MariaDB cannot hold, in the last table written.
    source.exec("INSERT INTO CALIBRATION(NETWORK,LOCATION,STA,CHAN,STARTDATE,SENS) "
                "VALUES('KZ','00','NEW','BHZ','2010-01-01 00:00:00',1e999)");
    makeTables(mariadb, false);
    mariadb.exec("INSERT INTO SITE(STA,DESCR) VALUES('OLD','старая')");
    CopyOptions options;
    options.replace = true;
    const auto report = copyArchive(*source.connect(), *mariadb.connect(), options);
    EXPECT_FALSE(report.ok);
    EXPECT_EQ(report.error.rfind("CALIBRATION, NETWORK='KZ', LOCATION='00', STA='NEW', CHAN='BHZ', "
                                 "STARTDATE=2010-01-01 00:00:00: ",
                                 0),
              0u)
        << report.error;
    // The rows it deleted are back; the tables it made are gone.
    EXPECT_EQ(mariadb.column("SELECT CONCAT(STA, '|', DESCR) FROM SITE"),
              std::vector<std::string>{"OLD|старая"});
    EXPECT_EQ(mariadb.scalar("SELECT COUNT(*) FROM ID_SENS"), "12");
    EXPECT_FALSE(mariadb.connect()->tableExists("SITECHAN"));
    EXPECT_FALSE(mariadb.connect()->tableExists("CALIBRATION"));
}

// The check after the rows are written fails (MariaDB's FLOAT keeps single precision) while
// the copy has made CALIBRATION: no change of a table (an index made) may have committed
// the replaced rows before the failure.
TEST(ArchiveCopy, AFailedCheckOnMariaDbAfterMadeTablesLeavesTheReplacedRows) {
    TestDatabase source(Backend::SQLite);
    TestDatabase mariadb(Backend::MariaDB);
    ORV_SKIP_IF_UNAVAILABLE(mariadb);
    makeTables(source);
    source.exec("DROP TABLE SITE");
    source.exec("CREATE TABLE SITE(STA VARCHAR(8) NOT NULL PRIMARY KEY,ELEV DOUBLE)");
    source.exec("INSERT INTO SITE VALUES('KIV',0.12345678901234567)");
    addResponse(source, "KIV", "2010-01-01 00:00:00");
    makeTables(mariadb, false); // CALIBRATION's units, without CALIBRATION
    mariadb.exec("DROP TABLE SITE");
    mariadb.exec("CREATE TABLE SITE(STA VARCHAR(8) NOT NULL PRIMARY KEY,ELEV FLOAT)");
    mariadb.exec("INSERT INTO SITE VALUES('OLD',0.5)");
    CopyOptions options;
    options.replace = true;
    options.tables = {"SITE", "CALIBRATION"};
    const auto report = copyArchive(*source.connect(), *mariadb.connect(), options);
    EXPECT_FALSE(report.ok);
    EXPECT_NE(report.error.find("SITE: после записи в получателе строк 1 из 1, контрольные суммы "
                                "различаются"),
              std::string::npos)
        << report.error;
    EXPECT_EQ(mariadb.column("SELECT CONCAT(STA, '|', ELEV) FROM SITE"),
              std::vector<std::string>{"OLD|0.5"});
    EXPECT_FALSE(mariadb.connect()->tableExists("CALIBRATION"));
}

namespace {

std::unique_ptr<orv::odbc::Connection> connectTo(const std::string& connectString) {
    orv::test::odbcIniDir(); // the test process's own drivers
    auto c = std::make_unique<orv::odbc::Connection>();
    EXPECT_FALSE(orv::odbc::isError(c->driverConnect(connectString)))
        << connectString << ": " << c->diagnostic();
    return c;
}

// A copy from one name of a database to another, with --replace: refused, naming it.
void expectRefused(orv::odbc::Connection& from, orv::odbc::Connection& to) {
    CopyOptions options;
    options.replace = true;
    const auto report = copyArchive(from, to, options);
    EXPECT_FALSE(report.ok);
    EXPECT_EQ(report.error.rfind("источник и получатель - одна база данных (", 0), 0u)
        << report.error;
}

} // namespace

TEST(ArchiveCopy, OneSqliteFileIsOneDatabaseHoweverItIsNamed) {
    orv::test::TempDir dir;
    std::filesystem::create_directory(dir / "sub");
    std::filesystem::create_symlink(dir / "ORV.db", dir / "link.db");
    const std::string driver = "Driver=SQLite3;Database=";
    auto file = connectTo(driver + (dir / "ORV.db").string());
    orv::odbc::Statement(*file).execDirect("CREATE TABLE ID_FREQ(ID_FREQ INT PRIMARY KEY,"
                                           "FREQ_UNITS VARCHAR(100))");
    orv::odbc::Statement(*file).execDirect("INSERT INTO ID_FREQ VALUES(0,'Hz')");
    {
        orv::test::ScopedCurrentDir here(dir / "sub");
        for (const std::string& other : {(dir / "link.db").string(), std::string("../ORV.db"),
                                         (dir / "sub/../ORV.db").string()})
            expectRefused(*file, *connectTo(driver + other));
    }
    // Another file is another database.
    auto copy = connectTo(driver + (dir / "copy.db").string());
    EXPECT_TRUE(copyArchive(*file, *copy, {}).ok);
    EXPECT_EQ(orv::gainbook::copy::checksumTable(*file, "ID_FREQ")->rows, 1);
}

TEST(ArchiveCopy, OneServerDatabaseIsOneDatabaseHoweverItIsReached) {
    TestDatabase pg(Backend::PostgreSQL);
    TestDatabase mariadb(Backend::MariaDB);
    ORV_SKIP_IF_UNAVAILABLE(pg);
    ORV_SKIP_IF_UNAVAILABLE(mariadb);
    orv::test::TempDir dir;
    // The servers' sockets under other names.
    std::filesystem::create_directory_symlink(std::getenv("ORV_TEST_PG_HOST"), dir / "pg");
    std::filesystem::create_symlink(std::getenv("ORV_TEST_MARIADB_SOCKET"), dir / "maria.sock");
    auto toPg = connectTo("Driver=PostgreSQL Unicode;Servername=" + (dir / "pg").string() +
                          ";Port=" + std::getenv("ORV_TEST_PG_PORT") + ";Database=" +
                          pg.scalar("SELECT current_database()") + ";UID=ORV;PWD=KTZ;");
    expectRefused(*pg.connect(), *toPg);
    auto toMariaDb = connectTo(
        "Driver=MariaDB Unicode;Server=localhost;Socket=" + (dir / "maria.sock").string() +
        ";Database=" + mariadb.scalar("SELECT DATABASE()") + ";UID=ORV;PWD=KTZ;");
    expectRefused(*mariadb.connect(), *toMariaDb);
    // Another database of the same server is another database.
    TestDatabase otherPg(Backend::PostgreSQL);
    TestDatabase otherMariaDb(Backend::MariaDB);
    makeTables(pg);
    makeTables(mariadb);
    EXPECT_TRUE(copyArchive(*pg.connect(), *otherPg.connect(), {}).ok);
    EXPECT_TRUE(copyArchive(*mariadb.connect(), *otherMariaDb.connect(), {}).ok);
}

TEST(ArchiveCopy, AChannelWithoutNumberTakesMariaDbsOwnAndTheRestIsCompared) {
    TestDatabase source(Backend::SQLite);
    TestDatabase mariadb(Backend::MariaDB);
    ORV_SKIP_IF_UNAVAILABLE(mariadb);
    makeTables(source);
    source.exec("INSERT INTO SITECHAN(NINDEX,STA,CHAN,NGROUP,CHANINDEX,SPS) "
                "VALUES(NULL,'KIV','BHZ',1,0,40),(5,'KIV','BHN',1,1,40)");
    auto from = source.connect();
    auto to = mariadb.connect();
    CopyOptions options;
    options.tables = {"SITECHAN"};
    const auto report = copyArchive(*from, *to, options);
    ASSERT_TRUE(report.ok) << report.error;
    ASSERT_EQ(report.tables.size(), 1u);
    EXPECT_EQ(report.tables[0].numberedRows, 1);
    EXPECT_NE(report.tables[0].sourceChecksum, report.tables[0].targetChecksum);
    EXPECT_EQ(mariadb.scalar("SELECT NINDEX FROM SITECHAN WHERE CHAN='BHN'"), "5");
    EXPECT_NE(mariadb.scalar("SELECT NINDEX FROM SITECHAN WHERE CHAN='BHZ'"), "<NULL>");
}

TEST(ArchiveCopy, ADoubleTheTargetStoresInSinglePrecisionFailsTheCheckNamingRowAndColumn) {
    TestDatabase source(Backend::SQLite);
    TestDatabase target(Backend::PostgreSQL);
    ORV_SKIP_IF_UNAVAILABLE(target);
    source.exec("CREATE TABLE SITE(STA VARCHAR(8) NOT NULL PRIMARY KEY,ELEV DOUBLE)");
    // 0.5 fits in single precision; 17 digits do not.
    source.exec("INSERT INTO SITE VALUES('A',0.5),('KIV',0.12345678901234567),('Z',0.1)");
    target.exec("CREATE TABLE SITE(STA VARCHAR(8) NOT NULL PRIMARY KEY,ELEV REAL)");
    auto from = source.connect();
    auto to = target.connect();
    const auto report = copyArchive(*from, *to, {});
    EXPECT_FALSE(report.ok);
    EXPECT_NE(report.error.find("SITE: после записи в получателе строк 3 из 3, контрольные суммы "
                                "различаются; первое различие: ключ STA='KIV', столбец ELEV: "
                                "0.12345678901234566 -> 0.12345679"),
              std::string::npos)
        << report.error;
    EXPECT_EQ(target.scalar("SELECT COUNT(*) FROM SITE"), "0");
}

TEST(ArchiveCopy, AServerStoppedHalfWayLeavesTheTargetAsItWas) {
    orv::test::PrivateServer server(Backend::PostgreSQL);
    if (!server.available())
        GTEST_SKIP() << server.whyUnavailable();
    TestDatabase source(Backend::SQLite);
    TestDatabase target(Backend::PostgreSQL);
    ORV_SKIP_IF_UNAVAILABLE(target);
    makeTables(source);
    makeTables(target);
    addResponse(target, "OLD", "2001-01-01 00:00:00");
    {
        auto c = source.connect();
        orv::odbc::Transaction t(*c);
        orv::odbc::Statement st(*c);
        ASSERT_FALSE(orv::odbc::isError(
            st.prepare("INSERT INTO CALIBRATION(NETWORK,LOCATION,STA,CHAN,STARTDATE,SAC) "
                       "VALUES('KZ','00',?,'BHZ','2010-01-01 00:00:00','ZEROS 0')")));
        for (int i = 0; i < 2000; ++i) {
            st.resetParameters();
            std::string code = "S";
            code += std::to_string(i);
            st.bindCode(code);
            ASSERT_FALSE(orv::odbc::isError(st.execute())) << st.diagnostic();
        }
        ASSERT_FALSE(orv::odbc::isError(t.commit()));
    }
    const auto before = orv::gainbook::copy::checksumTable(*target.connect(), "CALIBRATION");
    ASSERT_TRUE(before);

    auto from = source.connect();
    auto to = target.connect();
    CopyOptions options;
    options.replace = true;
    options.batchRows = 100;
    bool halted = false;
    const auto report =
        copyArchive(*from, *to, options, [&](std::string_view table, std::int64_t done, auto) {
            if (table == "CALIBRATION" && done >= 1000 && !halted)
                halted = server.halt();
        });
    EXPECT_TRUE(halted);
    EXPECT_FALSE(report.ok);
    EXPECT_FALSE(report.error.empty());
    ASSERT_TRUE(server.resume());
    const auto after = orv::gainbook::copy::checksumTable(*target.connect(), "CALIBRATION");
    ASSERT_TRUE(after);
    EXPECT_EQ(after->rows, 1);
    EXPECT_EQ(after->checksum, before->checksum);
    EXPECT_EQ(target.scalar("SELECT COUNT(*) FROM ID_SENS"), "12");
}

TEST(ArchiveCopy, TheChecksumIsTheSha256OfTheCanonicalRows) {
    TestDatabase db(Backend::SQLite);
    db.exec("CREATE TABLE SAMPLE(E VARCHAR(8),D TIMESTAMP,C DOUBLE,B INT,A VARCHAR(8))");
    db.exec("INSERT INTO SAMPLE VALUES(NULL,'0001-01-01 00:00:00',0.1,-3,'жK ')");
    // Python's hashlib over b'SAMPLE\0A\0B\0C\0D\0E\0', then the row: 0x01, the text's
    // length (8 bytes little-endian) and bytes; 0x02 and -3; 0x03 and the bits of 0.1;
    // 0x04 and the date; 0x00 for NULL.
    const auto sum = orv::gainbook::copy::checksumTable(*db.connect(), "SAMPLE");
    ASSERT_TRUE(sum);
    EXPECT_EQ(sum->rows, 1);
    EXPECT_EQ(sum->checksum, "6a931bff87d26ad3f8cfbfc6156c8901a33b7bf985a5bb264e5ac55382bd7ae4");
}
