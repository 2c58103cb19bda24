// The statements that cannot run here (SQL Server, Oracle, MySQL) checked as texts, and
// the recognition of the database system.
#include "db/schema.h"
#include "db/statements.h"

#include <gtest/gtest.h>

#include <fstream>
#include <regex>
#include <sstream>

using namespace orv::gainbook;

TEST(DbmsKind, NamesAreRecognisedWithoutRegardToCase) {
    EXPECT_EQ(classifyDbmsName("ACCESS"), DbmsKind::Access);
    EXPECT_EQ(classifyDbmsName("MySQL"), DbmsKind::MySql);
    EXPECT_EQ(classifyDbmsName("MariaDB"), DbmsKind::MySql);
    EXPECT_EQ(classifyDbmsName("microsoft sql server"), DbmsKind::SqlServer);
    EXPECT_EQ(classifyDbmsName("Oracle"), DbmsKind::Oracle);
    EXPECT_EQ(classifyDbmsName("PostgreSQL"), DbmsKind::PostgreSql);
    EXPECT_EQ(classifyDbmsName("SQLite"), DbmsKind::SQLite);
    // The whole name must match.
    EXPECT_EQ(classifyDbmsName("Oracle8"), std::nullopt);
    EXPECT_EQ(classifyDbmsName("Informix"), std::nullopt);
    EXPECT_EQ(classifyDbmsName(""), std::nullopt);
}

TEST(Statements, SqlServerAndOracleTextsAreExact) {
    const Dialect& ms = dialect(DbmsKind::SqlServer);
    EXPECT_EQ(ms.createCalibration,
              "CREATE TABLE CALIBRATION(NETWORK VARCHAR(8) NOT NULL,LOCATION VARCHAR(8) NOT "
              "NULL,STA VARCHAR(8) NOT NULL, CHAN VARCHAR(8) NOT NULL,STARTDATE DATETIME NOT "
              "NULL,ENDDATE DATETIME,SENS FLOAT,ID_SENS INT REFERENCES ID_SENS,FREQ FLOAT,ID_FREQ "
              "INT REFERENCES ID_FREQ,SAC NTEXT,FAP NTEXT,LDDATE DATETIME,PRIMARY "
              "KEY(NETWORK,LOCATION,STA,CHAN,STARTDATE));");
    EXPECT_EQ(ms.createTmpCalibration,
              "CREATE TABLE TMP_CALIBRATION(NETWORK VARCHAR(8) NOT NULL,LOCATION VARCHAR(8) NOT "
              "NULL,STA VARCHAR(8) NOT NULL, CHAN VARCHAR(8) NOT NULL,STARTDATE DATETIME NOT "
              "NULL,ENDDATE DATETIME,SENS FLOAT,ID_SENS INT,FREQ FLOAT,ID_FREQ INT,SAC NTEXT,FAP "
              "NTEXT,LDDATE DATETIME);");
    EXPECT_EQ(ms.recreateCalibration,
              "CREATE TABLE CALIBRATION(NETWORK VARCHAR(8) NOT NULL,LOCATION VARCHAR(8) NOT "
              "NULL,STA VARCHAR(8) NOT NULL, CHAN VARCHAR(8) NOT NULL,STARTDATE DATETIME NOT "
              "NULL,ENDDATE DATETIME,SENS FLOAT,ID_SENS INT,FREQ FLOAT,ID_FREQ INT,SAC NTEXT,FAP "
              "NTEXT,LDDATE DATETIME);");
    EXPECT_EQ(ms.createSiteChan,
              "CREATE TABLE SITECHAN(NINDEX INT UNIQUE,STA VARCHAR(8) NOT NULL,CHAN VARCHAR(8) "
              "NOT NULL,NGROUP INT NOT NULL,CHANINDEX INT,EDEPTH FLOAT,LAT FLOAT,LON FLOAT,SPS "
              "FLOAT NOT NULL,HANG FLOAT,VANG FLOAT,DESCR VARCHAR(128),CALIBFILE "
              "VARCHAR(255),LDDATE DATETIME,LCODE VARCHAR(8));");
    EXPECT_EQ(ms.longTextType, "NTEXT");
    EXPECT_EQ(ms.dateType, "DATETIME");

    const Dialect& ora = dialect(DbmsKind::Oracle);
    const std::string_view oracleCalibration =
        "CREATE TABLE CALIBRATION(NETWORK VARCHAR(8) NOT NULL, LOCATION VARCHAR(8) NOT NULL, "
        "STA VARCHAR(8) NOT NULL, CHAN VARCHAR(8) NOT NULL, STARTDATE DATE NOT NULL, ENDDATE "
        "DATE, SENS FLOAT, ID_SENS INT REFERENCES ID_SENS (ID_SENS), FREQ FLOAT, ID_FREQ INT "
        "REFERENCES ID_FREQ (ID_FREQ), SAC CLOB, FAP CLOB, LDDATE DATE, PRIMARY "
        "KEY(NETWORK,LOCATION,STA,CHAN,STARTDATE));";
    EXPECT_EQ(ora.createCalibration, oracleCalibration);
    // Oracle re-creates the table with its key, so that adding the key fails and is shown.
    EXPECT_EQ(ora.recreateCalibration, oracleCalibration);
    EXPECT_TRUE(ora.keyAddedAfterRebuild);
    EXPECT_EQ(ora.createTmpCalibration,
              "CREATE TABLE TMP_CALIBRATION(NETWORK VARCHAR(8) NOT NULL, LOCATION VARCHAR(8) NOT "
              "NULL, STA VARCHAR(8) NOT NULL, CHAN VARCHAR(8) NOT NULL, STARTDATE DATE NOT NULL, "
              "ENDDATE DATE, SENS FLOAT, ID_SENS INT REFERENCES ID_SENS (ID_SENS), FREQ FLOAT, "
              "ID_FREQ INT REFERENCES ID_FREQ (ID_FREQ), SAC CLOB, FAP CLOB, LDDATE DATE, PRIMARY "
              "KEY(NETWORK,LOCATION,STA,CHAN,STARTDATE));");
    EXPECT_EQ(ora.createSiteChan,
              "CREATE TABLE SITECHAN(NINDEX INT UNIQUE,STA VARCHAR(8) NOT NULL,CHAN VARCHAR(8) "
              "NOT NULL,NGROUP INT NOT NULL,CHANINDEX INT,EDEPTH FLOAT,LAT FLOAT,LON FLOAT,SPS "
              "FLOAT NOT NULL,HANG FLOAT,VANG FLOAT,DESCR VARCHAR(128),CALIBFILE "
              "VARCHAR(255),LDDATE DATE,LCODE VARCHAR(8));");
    EXPECT_EQ(ora.longTextType, "CLOB");
    EXPECT_EQ(ora.dateType, "DATE");
}

TEST(Statements, MySqlHoldsLongResponsesAndDoublePrecision) {
    const Dialect& my = dialect(DbmsKind::MySql);
    EXPECT_EQ(
        my.createCalibration,
        "CREATE TABLE CALIBRATION(NETWORK VARCHAR(8) NOT NULL,LOCATION VARCHAR(8) NOT "
        "NULL,STA VARCHAR(8) NOT NULL, CHAN VARCHAR(8) NOT NULL,STARTDATE DATETIME NOT "
        "NULL,ENDDATE DATETIME,SENS DOUBLE,ID_SENS INT REFERENCES ID_SENS,FREQ DOUBLE,ID_FREQ "
        "INT REFERENCES ID_FREQ,SAC MEDIUMTEXT,FAP MEDIUMTEXT,LDDATE DATETIME,PRIMARY "
        "KEY(NETWORK,LOCATION,STA,CHAN,STARTDATE));");
    EXPECT_EQ(my.longTextType, "MEDIUMTEXT");
    EXPECT_EQ(my.createSiteChan,
              "CREATE TABLE SITECHAN(NINDEX INT AUTO_INCREMENT UNIQUE,STA VARCHAR(8) NOT "
              "NULL,CHAN VARCHAR(8) NOT NULL,NGROUP INT NOT NULL,CHANINDEX INT,EDEPTH DOUBLE,LAT "
              "DOUBLE,LON DOUBLE,SPS DOUBLE NOT NULL,HANG DOUBLE,VANG DOUBLE,DESCR "
              "VARCHAR(128),CALIBFILE VARCHAR(255),LDDATE DATETIME,LCODE VARCHAR(8));");
    for (std::string_view s : {my.createCalibration, my.createTmpCalibration,
                               my.recreateCalibration, my.createSiteChan}) {
        EXPECT_EQ(s.find("FLOAT"), std::string_view::npos) << s;
        EXPECT_EQ(s.find(" TEXT"), std::string_view::npos) << s;
    }
    EXPECT_FALSE(my.rebuildable);
}

TEST(Statements, PostgreSqlHasNoLongcharAndKeepsTheTimeOfDay) {
    const Dialect& pg = dialect(DbmsKind::PostgreSql);
    for (std::string_view s : {pg.createCalibration, pg.createTmpCalibration,
                               pg.recreateCalibration, pg.createSiteChan}) {
        EXPECT_EQ(s.find("LONGCHAR"), std::string_view::npos) << s;
        EXPECT_EQ(s.find(" DATE,"), std::string_view::npos) << s;
        EXPECT_EQ(s.find(" DATE "), std::string_view::npos) << s;
        EXPECT_EQ(s.find(" DATE)"), std::string_view::npos) << s;
    }
    EXPECT_EQ(pg.longTextType, "TEXT");
    EXPECT_EQ(pg.dateType, "TIMESTAMP");
}

TEST(Statements, ColumnChangesAreBuiltWithoutClosingSemicolon) {
    EXPECT_EQ(sql::addColumn("CALIBRATION", "FAP", "LONGCHAR"),
              "ALTER TABLE CALIBRATION ADD FAP LONGCHAR");
    EXPECT_EQ(sql::changeColumnType("CALIBRATION", "SAC", "NTEXT", "ALTER COLUMN", false),
              "ALTER TABLE CALIBRATION ALTER COLUMN SAC NTEXT");
    EXPECT_EQ(sql::changeColumnType("CALIBRATION", "SAC", "TEXT", "ALTER COLUMN", true),
              "ALTER TABLE CALIBRATION ALTER COLUMN SAC TYPE TEXT");
}

TEST(Statements, SiteIsMadeAsTheEmbeddedDatabaseScriptMakesIt) {
    std::ifstream in(std::string(ORV_SOURCE_DIR) + "/scripts/embedded-db.sh");
    std::ostringstream script;
    script << in.rdbuf();
    std::smatch found;
    const std::string text = script.str();
    ASSERT_TRUE(std::regex_search(text, found,
                                  std::regex(R"(CREATE TABLE IF NOT EXISTS SITE \(([^;]*)\);)")));
    // The script's columns one to a line; the statement's without blanks between them.
    const std::string columns = std::regex_replace(found[1].str(), std::regex(R"(,\s+)"), ",");
    const std::string trimmed = std::regex_replace(columns, std::regex(R"(^\s+|\s+$)"), "");
    EXPECT_EQ(createSiteStatement(DbmsKind::SQLite), "CREATE TABLE SITE(" + trimmed + ");");
}
