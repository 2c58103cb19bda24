// Every SQL statement the response editor sends, kept in one place. Dialect differences
// are whole alternative statements; the schema layer chooses them by DbmsKind.
//
// PostgreSQL has neither LONGCHAR nor a DATE with a time of day: its statements use TEXT
// and TIMESTAMP. MySQL's TEXT holds only 64 KB and its FLOAT is single precision: its
// statements use MEDIUMTEXT and DOUBLE. SQLite changes types through the rebuild only,
// and its rebuilt table keeps its primary key.
#pragma once

#include <string>
#include <string_view>

namespace orv::gainbook::sql {

// --- Unit tables -------------------------------------------------------------------------

inline constexpr std::string_view kCreateIdSens =
    "CREATE TABLE ID_SENS(ID_SENS INT NOT NULL,SENS_UNITS VARCHAR(50) NOT NULL,CALIB_UNITS "
    "VARCHAR(50) NOT NULL,PRIMARY KEY(ID_SENS));";
inline constexpr std::string_view kCreateIdFreq =
    "CREATE TABLE ID_FREQ(ID_FREQ INT NOT NULL,FREQ_UNITS VARCHAR(50) NOT NULL,PRIMARY "
    "KEY(ID_FREQ));";
inline constexpr std::string_view kInsertIdSens = "INSERT INTO ID_SENS VALUES(?,?,?);";
inline constexpr std::string_view kInsertIdFreq = "INSERT INTO ID_FREQ VALUES(?,?);";
inline constexpr std::string_view kUpdateCalibUnits =
    "UPDATE ID_SENS SET CALIB_UNITS=? WHERE ID_SENS=?;";
inline constexpr std::string_view kSelectStoredCalibUnits =
    "SELECT ID_SENS,CALIB_UNITS FROM ID_SENS WHERE ID_SENS<3;";
// The unit lists of the file panel.
inline constexpr std::string_view kSelectCalibUnits =
    "SELECT CALIB_UNITS FROM ID_SENS WHERE ID_SENS<3;";
inline constexpr std::string_view kSelectFreqUnits = "SELECT FREQ_UNITS FROM ID_FREQ;";

// --- SITE --------------------------------------------------------------------------------
// The station table, made here only when an archive is copied into a database without it
// (the station editor expects it to exist). The SQLite form is the one
// scripts/embedded-db.sh makes for the embedded database; the others differ in the names
// of the double and date types.

inline constexpr std::string_view kCreateSiteSQLite =
    "CREATE TABLE SITE(STA VARCHAR(8) NOT NULL PRIMARY KEY,COD VARCHAR(6),NGROUPS INT,ELEV "
    "DOUBLE,LAT DOUBLE,LON DOUBLE,DESCR VARCHAR(50),LDDATE TIMESTAMP,NINDEX INT,DEAST "
    "DOUBLE,DNORTH DOUBLE,REFSTA VARCHAR(16),STANAME VARCHAR(50),STATYPE VARCHAR(50),UNDERGROUND "
    "VARCHAR(250),ONDATE TIMESTAMP,OFFDATE TIMESTAMP);";
inline constexpr std::string_view kCreateSitePostgreSql =
    "CREATE TABLE SITE(STA VARCHAR(8) NOT NULL PRIMARY KEY,COD VARCHAR(6),NGROUPS INT,ELEV "
    "DOUBLE PRECISION,LAT DOUBLE PRECISION,LON DOUBLE PRECISION,DESCR VARCHAR(50),LDDATE "
    "TIMESTAMP,NINDEX INT,DEAST DOUBLE PRECISION,DNORTH DOUBLE PRECISION,REFSTA "
    "VARCHAR(16),STANAME VARCHAR(50),STATYPE VARCHAR(50),UNDERGROUND VARCHAR(250),ONDATE "
    "TIMESTAMP,OFFDATE TIMESTAMP);";
inline constexpr std::string_view kCreateSiteMySql =
    "CREATE TABLE SITE(STA VARCHAR(8) NOT NULL PRIMARY KEY,COD VARCHAR(6),NGROUPS INT,ELEV "
    "DOUBLE,LAT DOUBLE,LON DOUBLE,DESCR VARCHAR(50),LDDATE DATETIME,NINDEX INT,DEAST "
    "DOUBLE,DNORTH DOUBLE,REFSTA VARCHAR(16),STANAME VARCHAR(50),STATYPE VARCHAR(50),UNDERGROUND "
    "VARCHAR(250),ONDATE DATETIME,OFFDATE DATETIME);";
inline constexpr std::string_view kCreateSiteSqlServer =
    "CREATE TABLE SITE(STA VARCHAR(8) NOT NULL PRIMARY KEY,COD VARCHAR(6),NGROUPS INT,ELEV "
    "FLOAT,LAT FLOAT,LON FLOAT,DESCR VARCHAR(50),LDDATE DATETIME,NINDEX INT,DEAST FLOAT,DNORTH "
    "FLOAT,REFSTA VARCHAR(16),STANAME VARCHAR(50),STATYPE VARCHAR(50),UNDERGROUND "
    "VARCHAR(250),ONDATE DATETIME,OFFDATE DATETIME);";
inline constexpr std::string_view kCreateSiteOracle =
    "CREATE TABLE SITE(STA VARCHAR(8) NOT NULL PRIMARY KEY,COD VARCHAR(6),NGROUPS INT,ELEV "
    "FLOAT,LAT FLOAT,LON FLOAT,DESCR VARCHAR(50),LDDATE DATE,NINDEX INT,DEAST FLOAT,DNORTH "
    "FLOAT,REFSTA VARCHAR(16),STANAME VARCHAR(50),STATYPE VARCHAR(50),UNDERGROUND "
    "VARCHAR(250),ONDATE DATE,OFFDATE DATE);";

// --- SITECHAN ----------------------------------------------------------------------------

inline constexpr std::string_view kCreateSiteChanSqlServer =
    "CREATE TABLE SITECHAN(NINDEX INT UNIQUE,STA VARCHAR(8) NOT NULL,CHAN VARCHAR(8) NOT "
    "NULL,NGROUP INT NOT NULL,CHANINDEX INT,EDEPTH FLOAT,LAT FLOAT,LON FLOAT,SPS FLOAT NOT "
    "NULL,HANG FLOAT,VANG FLOAT,DESCR VARCHAR(128),CALIBFILE VARCHAR(255),LDDATE "
    "DATETIME,LCODE VARCHAR(8));";
inline constexpr std::string_view kCreateSiteChanMySql =
    "CREATE TABLE SITECHAN(NINDEX INT AUTO_INCREMENT UNIQUE,STA VARCHAR(8) NOT NULL,CHAN "
    "VARCHAR(8) NOT NULL,NGROUP INT NOT NULL,CHANINDEX INT,EDEPTH DOUBLE,LAT DOUBLE,LON "
    "DOUBLE,SPS DOUBLE NOT NULL,HANG DOUBLE,VANG DOUBLE,DESCR VARCHAR(128),CALIBFILE "
    "VARCHAR(255),LDDATE DATETIME,LCODE VARCHAR(8));";
inline constexpr std::string_view kCreateSiteChanAccess =
    "CREATE TABLE SITECHAN(NINDEX COUNTER,STA VARCHAR(8) NOT NULL,CHAN VARCHAR(8) NOT "
    "NULL,NGROUP INT NOT NULL,CHANINDEX INT,EDEPTH FLOAT,LAT FLOAT,LON FLOAT,SPS FLOAT NOT "
    "NULL,HANG FLOAT,VANG FLOAT,DESCR VARCHAR(128),CALIBFILE VARCHAR,LDDATE DATETIME,LCODE "
    "VARCHAR(8));";
inline constexpr std::string_view kCreateSiteChanOracle =
    "CREATE TABLE SITECHAN(NINDEX INT UNIQUE,STA VARCHAR(8) NOT NULL,CHAN VARCHAR(8) NOT "
    "NULL,NGROUP INT NOT NULL,CHANINDEX INT,EDEPTH FLOAT,LAT FLOAT,LON FLOAT,SPS FLOAT NOT "
    "NULL,HANG FLOAT,VANG FLOAT,DESCR VARCHAR(128),CALIBFILE VARCHAR(255),LDDATE DATE,LCODE "
    "VARCHAR(8));";
inline constexpr std::string_view kCreateSiteChanPostgreSql =
    "CREATE TABLE SITECHAN(NINDEX INT UNIQUE,STA VARCHAR(8) NOT NULL,CHAN VARCHAR(8) NOT "
    "NULL,NGROUP INT NOT NULL,CHANINDEX INT,EDEPTH FLOAT,LAT FLOAT,LON FLOAT,SPS FLOAT NOT "
    "NULL,HANG FLOAT,VANG FLOAT,DESCR VARCHAR(128),CALIBFILE VARCHAR(255),LDDATE "
    "TIMESTAMP,LCODE VARCHAR(8));";
inline constexpr std::string_view kCreateSiteChanSQLite =
    "CREATE TABLE SITECHAN(NINDEX INT UNIQUE,STA VARCHAR(8) NOT NULL,CHAN VARCHAR(8) NOT "
    "NULL,NGROUP INT NOT NULL,CHANINDEX INT,EDEPTH DOUBLE,LAT DOUBLE,LON DOUBLE,SPS DOUBLE "
    "NOT NULL,HANG DOUBLE,VANG DOUBLE,DESCR VARCHAR(128),CALIBFILE VARCHAR(255),LDDATE "
    "TIMESTAMP,LCODE VARCHAR(8));";

// --- CALIBRATION: creation (with key and references) -------------------------------------

inline constexpr std::string_view kCreateCalibrationSqlServer =
    "CREATE TABLE CALIBRATION(NETWORK VARCHAR(8) NOT NULL,LOCATION VARCHAR(8) NOT NULL,STA "
    "VARCHAR(8) NOT NULL, CHAN VARCHAR(8) NOT NULL,STARTDATE DATETIME NOT NULL,ENDDATE "
    "DATETIME,SENS FLOAT,ID_SENS INT REFERENCES ID_SENS,FREQ FLOAT,ID_FREQ INT REFERENCES "
    "ID_FREQ,SAC NTEXT,FAP NTEXT,LDDATE DATETIME,PRIMARY "
    "KEY(NETWORK,LOCATION,STA,CHAN,STARTDATE));";
inline constexpr std::string_view kCreateCalibrationMySql =
    "CREATE TABLE CALIBRATION(NETWORK VARCHAR(8) NOT NULL,LOCATION VARCHAR(8) NOT NULL,STA "
    "VARCHAR(8) NOT NULL, CHAN VARCHAR(8) NOT NULL,STARTDATE DATETIME NOT NULL,ENDDATE "
    "DATETIME,SENS DOUBLE,ID_SENS INT REFERENCES ID_SENS,FREQ DOUBLE,ID_FREQ INT REFERENCES "
    "ID_FREQ,SAC MEDIUMTEXT,FAP MEDIUMTEXT,LDDATE DATETIME,PRIMARY "
    "KEY(NETWORK,LOCATION,STA,CHAN,STARTDATE));";
inline constexpr std::string_view kCreateCalibrationAccess =
    "CREATE TABLE CALIBRATION(NETWORK VARCHAR(8) NOT NULL,LOCATION VARCHAR(8) NOT NULL,STA "
    "VARCHAR(8) NOT NULL, CHAN VARCHAR(8) NOT NULL,STARTDATE DATETIME NOT NULL,ENDDATE "
    "DATETIME,SENS FLOAT,ID_SENS INT REFERENCES ID_SENS,FREQ FLOAT,ID_FREQ INT REFERENCES "
    "ID_FREQ,SAC LONGCHAR,FAP LONGCHAR,LDDATE DATETIME,PRIMARY "
    "KEY(NETWORK,LOCATION,STA,CHAN,STARTDATE));";
inline constexpr std::string_view kCreateCalibrationOracle =
    "CREATE TABLE CALIBRATION(NETWORK VARCHAR(8) NOT NULL, LOCATION VARCHAR(8) NOT NULL, STA "
    "VARCHAR(8) NOT NULL, CHAN VARCHAR(8) NOT NULL, STARTDATE DATE NOT NULL, ENDDATE DATE, "
    "SENS FLOAT, ID_SENS INT REFERENCES ID_SENS (ID_SENS), FREQ FLOAT, ID_FREQ INT REFERENCES "
    "ID_FREQ (ID_FREQ), SAC CLOB, FAP CLOB, LDDATE DATE, PRIMARY "
    "KEY(NETWORK,LOCATION,STA,CHAN,STARTDATE));";
inline constexpr std::string_view kCreateCalibrationPostgreSql =
    "CREATE TABLE CALIBRATION(NETWORK VARCHAR(8) NOT NULL,LOCATION VARCHAR(8) NOT NULL,STA "
    "VARCHAR(8) NOT NULL, CHAN VARCHAR(8) NOT NULL,STARTDATE TIMESTAMP NOT NULL,ENDDATE "
    "TIMESTAMP,SENS FLOAT,ID_SENS INT REFERENCES ID_SENS,FREQ FLOAT,ID_FREQ INT REFERENCES "
    "ID_FREQ,SAC TEXT,FAP TEXT,LDDATE TIMESTAMP,PRIMARY "
    "KEY(NETWORK,LOCATION,STA,CHAN,STARTDATE));";
inline constexpr std::string_view kCreateCalibrationSQLite =
    "CREATE TABLE CALIBRATION(NETWORK VARCHAR(8) NOT NULL,LOCATION VARCHAR(8) NOT NULL,STA "
    "VARCHAR(8) NOT NULL, CHAN VARCHAR(8) NOT NULL,STARTDATE TIMESTAMP NOT NULL,ENDDATE "
    "TIMESTAMP,SENS DOUBLE,ID_SENS INT REFERENCES ID_SENS,FREQ DOUBLE,ID_FREQ INT REFERENCES "
    "ID_FREQ,SAC TEXT,FAP TEXT,LDDATE TIMESTAMP,PRIMARY "
    "KEY(NETWORK,LOCATION,STA,CHAN,STARTDATE));";

// --- CALIBRATION rebuild: the temporary copy ---------------------------------------------

inline constexpr std::string_view kCreateTmpCalibrationSqlServer =
    "CREATE TABLE TMP_CALIBRATION(NETWORK VARCHAR(8) NOT NULL,LOCATION VARCHAR(8) NOT "
    "NULL,STA VARCHAR(8) NOT NULL, CHAN VARCHAR(8) NOT NULL,STARTDATE DATETIME NOT "
    "NULL,ENDDATE DATETIME,SENS FLOAT,ID_SENS INT,FREQ FLOAT,ID_FREQ INT,SAC NTEXT,FAP "
    "NTEXT,LDDATE DATETIME);";
inline constexpr std::string_view kCreateTmpCalibrationMySql =
    "CREATE TABLE TMP_CALIBRATION(NETWORK VARCHAR(8) NOT NULL,LOCATION VARCHAR(8) NOT "
    "NULL,STA VARCHAR(8) NOT NULL, CHAN VARCHAR(8) NOT NULL,STARTDATE DATETIME NOT "
    "NULL,ENDDATE DATETIME,SENS DOUBLE,ID_SENS INT,FREQ DOUBLE,ID_FREQ INT,SAC MEDIUMTEXT,FAP "
    "MEDIUMTEXT,LDDATE DATETIME);";
inline constexpr std::string_view kCreateTmpCalibrationAccess =
    "CREATE TABLE TMP_CALIBRATION(NETWORK VARCHAR(8) NOT NULL,LOCATION VARCHAR(8) NOT "
    "NULL,STA VARCHAR(8) NOT NULL, CHAN VARCHAR(8) NOT NULL,STARTDATE DATETIME NOT "
    "NULL,ENDDATE DATETIME,SENS FLOAT,ID_SENS INT,FREQ FLOAT,ID_FREQ INT,SAC LONGCHAR,FAP "
    "LONGCHAR,LDDATE DATETIME);";
inline constexpr std::string_view kCreateTmpCalibrationOracle =
    "CREATE TABLE TMP_CALIBRATION(NETWORK VARCHAR(8) NOT NULL, LOCATION VARCHAR(8) NOT NULL, "
    "STA VARCHAR(8) NOT NULL, CHAN VARCHAR(8) NOT NULL, STARTDATE DATE NOT NULL, ENDDATE DATE, "
    "SENS FLOAT, ID_SENS INT REFERENCES ID_SENS (ID_SENS), FREQ FLOAT, ID_FREQ INT REFERENCES "
    "ID_FREQ (ID_FREQ), SAC CLOB, FAP CLOB, LDDATE DATE, PRIMARY "
    "KEY(NETWORK,LOCATION,STA,CHAN,STARTDATE));";
inline constexpr std::string_view kCreateTmpCalibrationPostgreSql =
    "CREATE TABLE TMP_CALIBRATION(NETWORK VARCHAR(8) NOT NULL,LOCATION VARCHAR(8) NOT "
    "NULL,STA VARCHAR(8) NOT NULL, CHAN VARCHAR(8) NOT NULL,STARTDATE TIMESTAMP NOT "
    "NULL,ENDDATE TIMESTAMP,SENS FLOAT,ID_SENS INT,FREQ FLOAT,ID_FREQ INT,SAC TEXT,FAP "
    "TEXT,LDDATE TIMESTAMP);";
inline constexpr std::string_view kCreateTmpCalibrationSQLite =
    "CREATE TABLE TMP_CALIBRATION(NETWORK VARCHAR(8) NOT NULL,LOCATION VARCHAR(8) NOT "
    "NULL,STA VARCHAR(8) NOT NULL, CHAN VARCHAR(8) NOT NULL,STARTDATE TIMESTAMP NOT "
    "NULL,ENDDATE TIMESTAMP,SENS DOUBLE,ID_SENS INT,FREQ DOUBLE,ID_FREQ INT,SAC TEXT,FAP "
    "TEXT,LDDATE TIMESTAMP);";

// --- CALIBRATION rebuild: the table created again ----------------------------------------
// Without key where the key is added afterwards; Oracle's form is the creation form, so
// that adding the key then fails and is reported; SQLite keeps its key in the table itself.

inline constexpr std::string_view kRecreateCalibrationSqlServer =
    "CREATE TABLE CALIBRATION(NETWORK VARCHAR(8) NOT NULL,LOCATION VARCHAR(8) NOT NULL,STA "
    "VARCHAR(8) NOT NULL, CHAN VARCHAR(8) NOT NULL,STARTDATE DATETIME NOT NULL,ENDDATE "
    "DATETIME,SENS FLOAT,ID_SENS INT,FREQ FLOAT,ID_FREQ INT,SAC NTEXT,FAP NTEXT,LDDATE "
    "DATETIME);";
inline constexpr std::string_view kRecreateCalibrationMySql =
    "CREATE TABLE CALIBRATION(NETWORK VARCHAR(8) NOT NULL,LOCATION VARCHAR(8) NOT NULL,STA "
    "VARCHAR(8) NOT NULL, CHAN VARCHAR(8) NOT NULL,STARTDATE DATETIME NOT NULL,ENDDATE "
    "DATETIME,SENS DOUBLE,ID_SENS INT,FREQ DOUBLE,ID_FREQ INT,SAC MEDIUMTEXT,FAP "
    "MEDIUMTEXT,LDDATE DATETIME);";
inline constexpr std::string_view kRecreateCalibrationAccess =
    "CREATE TABLE CALIBRATION(NETWORK VARCHAR(8) NOT NULL,LOCATION VARCHAR(8) NOT NULL,STA "
    "VARCHAR(8) NOT NULL, CHAN VARCHAR(8) NOT NULL,STARTDATE DATETIME NOT NULL,ENDDATE "
    "DATETIME,SENS FLOAT,ID_SENS INT,FREQ FLOAT,ID_FREQ INT,SAC LONGCHAR,FAP LONGCHAR,LDDATE "
    "DATETIME);";
inline constexpr std::string_view kRecreateCalibrationOracle = kCreateCalibrationOracle;
inline constexpr std::string_view kRecreateCalibrationPostgreSql =
    "CREATE TABLE CALIBRATION(NETWORK VARCHAR(8) NOT NULL,LOCATION VARCHAR(8) NOT NULL,STA "
    "VARCHAR(8) NOT NULL, CHAN VARCHAR(8) NOT NULL,STARTDATE TIMESTAMP NOT NULL,ENDDATE "
    "TIMESTAMP,SENS FLOAT,ID_SENS INT,FREQ FLOAT,ID_FREQ INT,SAC TEXT,FAP TEXT,LDDATE "
    "TIMESTAMP);";
inline constexpr std::string_view kRecreateCalibrationSQLite = kCreateCalibrationSQLite;

// --- CALIBRATION rebuild: moving the rows -------------------------------------------------

inline constexpr std::string_view kCopyToTmpCalibration =
    "INSERT INTO "
    "TMP_CALIBRATION(NETWORK,LOCATION,STA,CHAN,STARTDATE,ENDDATE,SENS,ID_SENS,FREQ,ID_FREQ,"
    "SAC,FAP,LDDATE) SELECT "
    "NETWORK,LOCATION,STA,CHAN,STARTDATE,ENDDATE,SENS,ID_SENS,FREQ,ID_FREQ,SAC,FAP,LDDATE "
    "FROM CALIBRATION;";
inline constexpr std::string_view kDropCalibration = "DROP TABLE CALIBRATION;";
inline constexpr std::string_view kCopyFromTmpCalibration =
    "INSERT INTO "
    "CALIBRATION(NETWORK,LOCATION,STA,CHAN,STARTDATE,ENDDATE,SENS,ID_SENS,FREQ,ID_FREQ,SAC,"
    "FAP,LDDATE) SELECT * FROM TMP_CALIBRATION;";
inline constexpr std::string_view kDropTmpCalibration = "DROP TABLE TMP_CALIBRATION;";
inline constexpr std::string_view kAddCalibrationKey =
    "ALTER TABLE CALIBRATION ADD PRIMARY KEY(NETWORK, LOCATION, STA, CHAN, STARTDATE);";

// --- Indexes beside the keys --------------------------------------------------------------
// Not part of what the check requires: made with their table and added at every check where
// they are missing (so an older database gets them on its first check), without a word; a
// database where they cannot be made works as before, only slower. One text for every
// dialect. The key of CALIBRATION begins with NETWORK and LOCATION, which serves the
// interval list and the writer but no station-first step.

// The station-first steps of the database panel (stations, networks of a station,
// channels, locations).
inline constexpr std::string_view kCalibrationStationIndex = "CALIBRATION_STA";
inline constexpr std::string_view kCreateCalibrationStationIndex =
    "CREATE INDEX CALIBRATION_STA ON CALIBRATION(STA,NETWORK,CHAN,LOCATION)";
// The network-first steps (networks, stations of a network).
inline constexpr std::string_view kCalibrationNetworkIndex = "CALIBRATION_NET";
inline constexpr std::string_view kCreateCalibrationNetworkIndex =
    "CREATE INDEX CALIBRATION_NET ON CALIBRATION(NETWORK,STA)";
// The station editor's channel look-ups (station and group) and the response file look-up.
inline constexpr std::string_view kSiteChanStationIndex = "SITECHAN_STA";
inline constexpr std::string_view kCreateSiteChanStationIndex =
    "CREATE INDEX SITECHAN_STA ON SITECHAN(STA,NGROUP)";
inline constexpr std::string_view kSiteChanFileIndex = "SITECHAN_CALIBFILE";
inline constexpr std::string_view kCreateSiteChanFileIndex =
    "CREATE INDEX SITECHAN_CALIBFILE ON SITECHAN(CALIBFILE)";

// SQLite plans without statistics, and without them reads every key entry for a DISTINCT
// that could skip from one value to the next. They are gathered for a table when one of
// its indexes was made and whenever it has none, from a sample of each index (which takes
// milliseconds); SQLite renews them as the table grows (the connection runs PRAGMA
// optimize when it closes).
inline constexpr std::string_view kSQLiteAnalysisLimit = "PRAGMA analysis_limit=1000";
// table
inline constexpr std::string_view kSQLiteStatisticsOf =
    "SELECT COUNT(*) FROM sqlite_stat1 WHERE tbl=? COLLATE NOCASE";
// + table
inline constexpr std::string_view kSQLiteAnalyze = "ANALYZE ";

// --- Copying an archive -----------------------------------------------------------------

// The columns of a table (upper-case name) that MySQL numbers itself.
inline constexpr std::string_view kMySqlSelfNumberedColumns =
    "SELECT COLUMN_NAME FROM information_schema.COLUMNS WHERE TABLE_SCHEMA=DATABASE() AND "
    "UPPER(TABLE_NAME)=? AND EXTRA LIKE '%auto_increment%'";

// Whether two connections reach one database. SQLite: the file of the main database (column
// 3). PostgreSQL: an advisory lock (two keys) belongs to one database of one server, so
// that the second connection cannot take the one the first holds; 1 when taken. MySQL: a
// named lock belongs to one server; the second connection sees who holds it (NULL: no
// one) and the database it works in.
inline constexpr std::string_view kSQLiteDatabaseFiles = "PRAGMA database_list";
inline constexpr std::string_view kPostgreSqlTryLock =
    "SELECT CASE WHEN pg_try_advisory_lock(?,?) THEN 1 ELSE 0 END";
inline constexpr std::string_view kPostgreSqlUnlock = "SELECT pg_advisory_unlock(?,?)";
inline constexpr std::string_view kMySqlTryLock = "SELECT GET_LOCK(?,0)";
inline constexpr std::string_view kMySqlLockHolder = "SELECT IS_USED_LOCK(?),DATABASE()";
inline constexpr std::string_view kMySqlDatabase = "SELECT DATABASE()";
inline constexpr std::string_view kMySqlUnlock = "SELECT RELEASE_LOCK(?)";

// --- Column changes ----------------------------------------------------------------------

// "ALTER TABLE t ADD c type"
std::string addColumn(std::string_view table, std::string_view column, std::string_view type);
// "ALTER TABLE t ALTER COLUMN c type", with the dialect's verb instead of "ALTER COLUMN"
// ("MODIFY" on MySQL), and with "TYPE " before the type where the dialect needs it
// (PostgreSQL).
std::string changeColumnType(std::string_view table, std::string_view column, std::string_view type,
                             std::string_view verb, bool typeKeyword);

} // namespace orv::gainbook::sql
