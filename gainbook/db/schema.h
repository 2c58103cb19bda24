// Which database system is behind the connection, and bringing the response tables
// (CALIBRATION, ID_SENS, ID_FREQ) and SITECHAN into the shape the editor needs: tables
// created on request with their default rows, missing columns added, wrong column types
// changed in place, or CALIBRATION rebuilt through TMP_CALIBRATION in one transaction.
#pragma once

#include "odbc/odbc.h"
#include "ui/interaction.h"

#include <optional>
#include <string>
#include <string_view>

namespace orv::gainbook {

enum class DbmsKind {
    SqlServer = 0,
    MySql = 1,
    Access = 2,
    Oracle = 3,
    PostgreSql = 4,
    SQLite = 5
};

// Classifies a DBMS name as the driver reports it (without regard to case); nullopt when
// it is not one the editor knows. "MariaDB" counts as MySQL.
std::optional<DbmsKind> classifyDbmsName(std::string_view name);

// The statements and type names of one database system.
struct Dialect {
    std::string_view longTextType; // SAC, FAP
    std::string_view dateType;     // STARTDATE, ENDDATE, LDDATE
    // The type names the driver reports for the two types above (compared in upper case).
    std::string_view reportedLongTextType;
    std::string_view reportedDateType;
    std::string_view createSiteChan;
    std::string_view createCalibration;
    std::string_view createTmpCalibration;
    std::string_view recreateCalibration;
    bool changesTypesInPlace = true;  // false: a type change needs the rebuild
    bool typeKeywordInAlter = false;  // "ALTER COLUMN c TYPE t"
    bool rebuildable = true;          // false: CALIBRATION cannot be rebuilt
    bool keyAddedAfterRebuild = true; // false: the re-created table has its key already
    std::string_view changeColumnVerb = "ALTER COLUMN"; // "ALTER TABLE t <verb> c type"
    // Driver attributes under which a query's rows come as they are fetched rather than
    // all read into memory first; "" where the driver has no such setting.
    std::string_view streamingAttributes = {};
};

const Dialect& dialect(DbmsKind kind);

// The statement that makes the station table SITE on a system.
std::string_view createSiteStatement(DbmsKind kind);

// One unit row: ID_SENS rows have both unit names, ID_FREQ rows only the first.
struct UnitRow {
    short id;
    std::string_view units;
    std::string_view calibUnits;
};
extern const UnitRow kDefaultSensUnits[12];
extern const UnitRow kDefaultFreqUnits[2];

class Schema {
public:
    Schema(odbc::Connection& connection, ui::Interaction& ui);

    // Reads the DBMS name and keeps the kind; false when it is not recognised.
    bool detectKind();
    std::optional<DbmsKind> kind() const { return kind_; }
    // Takes the kind as known (the statements of that system are used from now on).
    void setKind(DbmsKind kind) { kind_ = kind; }

    // The whole check; true when the editor can work on the database.
    bool check();
    bool siteChanPresent() const { return siteChanPresent_; }
    bool siteChanHasLcode() const { return siteChanHasLcode_; }

    bool createSiteChan();
    // The station table, for a copy of an archive (the check does not ask for it).
    bool createSite();
    bool createIdSens(bool withDefaultRows = true);
    bool createIdFreq(bool withDefaultRows = true);
    bool createCalibration();
    // Makes the indexes beside the keys of CALIBRATION or SITECHAN that are missing,
    // silently: the editor works without them (a failure leaves the database as it was).
    // On SQLite the table's statistics are gathered when an index was made or when it has
    // none.
    void completeIndexes(std::string_view table);
    // ID_SENS rows 0 to 2 get their current calibration units.
    void updateSensUnits();

    bool addColumn(std::string_view table, std::string_view column, std::string_view type);
    bool changeColumnType(std::string_view table, std::string_view column, std::string_view type);
    // True when the driver reports the column with the expected type name.
    bool columnHasType(std::string_view table, std::string_view column,
                       std::string_view reportedType);
    // Copies CALIBRATION into TMP_CALIBRATION, creates it again in the dialect's current
    // form and copies the rows back, all in one transaction. True when committed.
    // Refused on MySQL, where DDL commits at once so that a failure half way could not be
    // rolled back; there every change is made in place, and a change that fails in place
    // (a value that does not convert, a lock, a missing right) would fail the copy too.
    bool rebuildCalibration();

private:
    const Dialect& d() const { return dialect(*kind_); }
    bool createTable(std::string_view statement, std::string_view table, bool warnOnFailure);
    // True when the driver says the connection is gone (the user is told so).
    bool connectionLost();
    // Whether the table is missing; nullopt when the connection was lost while asking.
    std::optional<bool> tableMissing(std::string_view table);
    // The same for a column, and for a column the driver does not report with the type
    // expected.
    std::optional<bool> columnMissing(std::string_view table, std::string_view column);
    std::optional<bool> typeDiffers(std::string_view table, std::string_view column,
                                    std::string_view reportedType);
    // False when the connection was lost while the columns were looked at (nothing changed).
    bool checkCalibrationColumns();
    bool hasStatistics(std::string_view table);

    odbc::Connection& connection_;
    ui::Interaction& ui_;
    std::optional<DbmsKind> kind_;
    bool siteChanPresent_ = false;
    bool siteChanHasLcode_ = false;
};

} // namespace orv::gainbook
