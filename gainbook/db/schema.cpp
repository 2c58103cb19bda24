#include "db/schema.h"

#include "db/connection.h"
#include "db/statements.h"
#include "text/text.h"

#include <algorithm>
#include <map>

namespace orv::gainbook {

namespace {

const Dialect kSqlServer{"NTEXT",
                         "DATETIME",
                         "NTEXT",
                         "DATETIME",
                         sql::kCreateSiteChanSqlServer,
                         sql::kCreateCalibrationSqlServer,
                         sql::kCreateTmpCalibrationSqlServer,
                         sql::kRecreateCalibrationSqlServer};
// DDL commits at once on MySQL: a rebuild there could not be rolled back. The MariaDB
// driver reads a whole result unless told NO_CACHE.
const Dialect kMySql{"MEDIUMTEXT",
                     "DATETIME",
                     "MEDIUMTEXT",
                     "DATETIME",
                     sql::kCreateSiteChanMySql,
                     sql::kCreateCalibrationMySql,
                     sql::kCreateTmpCalibrationMySql,
                     sql::kRecreateCalibrationMySql,
                     /*changesTypesInPlace=*/true,
                     /*typeKeywordInAlter=*/false,
                     /*rebuildable=*/false,
                     /*keyAddedAfterRebuild=*/true,
                     /*changeColumnVerb=*/"MODIFY",
                     /*streamingAttributes=*/"OPTION=1048576;"};
const Dialect kAccess{"LONGCHAR",
                      "DATETIME",
                      "LONGCHAR",
                      "DATETIME",
                      sql::kCreateSiteChanAccess,
                      sql::kCreateCalibrationAccess,
                      sql::kCreateTmpCalibrationAccess,
                      sql::kRecreateCalibrationAccess};
const Dialect kOracle{"CLOB",
                      "DATE",
                      "CLOB",
                      "DATE",
                      sql::kCreateSiteChanOracle,
                      sql::kCreateCalibrationOracle,
                      sql::kCreateTmpCalibrationOracle,
                      sql::kRecreateCalibrationOracle};
// psqlODBC reports TEXT as "text" and TIMESTAMP as "timestamp"; it reads a whole result
// unless it declares a cursor and fetches from it (UseDeclareFetch).
const Dialect kPostgreSql{"TEXT",
                          "TIMESTAMP",
                          "TEXT",
                          "TIMESTAMP",
                          sql::kCreateSiteChanPostgreSql,
                          sql::kCreateCalibrationPostgreSql,
                          sql::kCreateTmpCalibrationPostgreSql,
                          sql::kRecreateCalibrationPostgreSql,
                          /*changesTypesInPlace=*/true,
                          /*typeKeywordInAlter=*/true,
                          /*rebuildable=*/true,
                          /*keyAddedAfterRebuild=*/true,
                          /*changeColumnVerb=*/"ALTER COLUMN",
                          /*streamingAttributes=*/"UseDeclareFetch=1;Fetch=1000;"};
// The SQLite driver reports the declared type names; it reads a whole result into memory
// unless it steps through it (StepAPI).
const Dialect kSQLite{"TEXT",
                      "TIMESTAMP",
                      "TEXT",
                      "TIMESTAMP",
                      sql::kCreateSiteChanSQLite,
                      sql::kCreateCalibrationSQLite,
                      sql::kCreateTmpCalibrationSQLite,
                      sql::kRecreateCalibrationSQLite,
                      /*changesTypesInPlace=*/false,
                      /*typeKeywordInAlter=*/false,
                      /*rebuildable=*/true,
                      /*keyAddedAfterRebuild=*/false,
                      /*changeColumnVerb=*/"ALTER COLUMN",
                      /*streamingAttributes=*/"StepAPI=1;"};

const std::string_view kRebuildCaption = "Изменение структуры таблицы CALIBRATION";

} // namespace

const UnitRow kDefaultSensUnits[12] = {
    {0, "counts/m", "nm/counts"},
    {1, "counts*sec/m", "nm/counts*sec"},
    {2, "counts*sec**2/m", "nm/counts*sec**2"},
    {3, "counts/Pa", "Pa/counts"},
    {4, "counts", "1/counts"},
    {5, "M/M", "1/counts"},
    {6, "C", "1/counts"},
    {7, "V", "1/Volts"},
    {8, "B", "1/B"},
    {9, "PERCENT", "Percent"},
    {10, "D", "1/D"},
    {11, "T", "1/T"},
};
const UnitRow kDefaultFreqUnits[2] = {{0, "Hz", {}}, {1, "rad/sec", {}}};

std::optional<DbmsKind> classifyDbmsName(std::string_view name) {
    static const std::pair<std::string_view, DbmsKind> names[] = {
        {"mysql", DbmsKind::MySql},
        {"access", DbmsKind::Access},
        {"Microsoft SQL Server", DbmsKind::SqlServer},
        {"Oracle", DbmsKind::Oracle},
        {"PostgreSQL", DbmsKind::PostgreSql},
        {"MariaDB", DbmsKind::MySql},
        {"SQLite", DbmsKind::SQLite},
    };
    for (const auto& [known, kind] : names)
        if (text::equalsNoCase(name, known))
            return kind;
    return std::nullopt;
}

const Dialect& dialect(DbmsKind kind) {
    switch (kind) {
    case DbmsKind::SqlServer:
        return kSqlServer;
    case DbmsKind::MySql:
        return kMySql;
    case DbmsKind::Access:
        return kAccess;
    case DbmsKind::Oracle:
        return kOracle;
    case DbmsKind::PostgreSql:
        return kPostgreSql;
    case DbmsKind::SQLite:
        break;
    }
    return kSQLite;
}

std::string_view createSiteStatement(DbmsKind kind) {
    switch (kind) {
    case DbmsKind::SqlServer:
    case DbmsKind::Access:
        return sql::kCreateSiteSqlServer;
    case DbmsKind::MySql:
        return sql::kCreateSiteMySql;
    case DbmsKind::Oracle:
        return sql::kCreateSiteOracle;
    case DbmsKind::PostgreSql:
        return sql::kCreateSitePostgreSql;
    case DbmsKind::SQLite:
        break;
    }
    return sql::kCreateSiteSQLite;
}

Schema::Schema(odbc::Connection& connection, ui::Interaction& ui)
    : connection_(connection), ui_(ui) {}

bool Schema::detectKind() {
    kind_.reset();
    if (const auto name = connection_.dbmsName(128))
        kind_ = classifyDbmsName(*name);
    return kind_.has_value();
}

bool Schema::createTable(std::string_view statement, std::string_view table, bool warnOnFailure) {
    odbc::Statement st(connection_);
    if (!st.valid())
        return false;
    const std::string caption = "Создание таблицы " + std::string(table);
    if (odbc::isError(st.execDirect(statement))) {
        const std::string message =
            failureText("создания таблицы " + std::string(table), st.diagnostic());
        if (warnOnFailure)
            ui_.warn(message, caption);
        else
            ui_.error(message, caption);
        return false;
    }
    ui_.inform("Таблица " + std::string(table) + " создана успешно!", caption);
    return true;
}

bool Schema::createSiteChan() {
    if (!createTable(d().createSiteChan, "SITECHAN", true))
        return false;
    siteChanPresent_ = true;
    siteChanHasLcode_ = true;
    return true;
}

bool Schema::createSite() {
    return createTable(createSiteStatement(*kind_), "SITE", false);
}

bool Schema::createIdSens(bool withDefaultRows) {
    if (!createTable(sql::kCreateIdSens, "ID_SENS", false))
        return false;
    if (withDefaultRows) {
        odbc::Statement st(connection_);
        if (st.valid() && !odbc::isError(st.prepare(sql::kInsertIdSens))) {
            for (const UnitRow& row : kDefaultSensUnits) {
                st.resetParameters();
                st.bindUnitId(row.id);
                st.bindUnitName(row.units);
                st.bindUnitName(row.calibUnits);
                st.execute();
            }
        }
    }
    return true;
}

bool Schema::createIdFreq(bool withDefaultRows) {
    if (!createTable(sql::kCreateIdFreq, "ID_FREQ", false))
        return false;
    if (withDefaultRows) {
        odbc::Statement st(connection_);
        if (st.valid() && !odbc::isError(st.prepare(sql::kInsertIdFreq))) {
            for (const UnitRow& row : kDefaultFreqUnits) {
                st.resetParameters();
                st.bindUnitId(row.id);
                st.bindUnitName(row.units);
                st.execute();
            }
        }
    }
    return true;
}

bool Schema::createCalibration() {
    return createTable(d().createCalibration, "CALIBRATION", false);
}

void Schema::completeIndexes(std::string_view table) {
    struct Index {
        std::string_view table;
        std::string_view name;
        std::string_view create;
    };
    static constexpr Index kIndexes[] = {
        {"CALIBRATION", sql::kCalibrationStationIndex, sql::kCreateCalibrationStationIndex},
        {"CALIBRATION", sql::kCalibrationNetworkIndex, sql::kCreateCalibrationNetworkIndex},
        {"SITECHAN", sql::kSiteChanStationIndex, sql::kCreateSiteChanStationIndex},
        {"SITECHAN", sql::kSiteChanFileIndex, sql::kCreateSiteChanFileIndex},
    };
    const auto present = listIndexes(connection_, table);
    if (!present)
        return;
    bool made = false;
    for (const Index& index : kIndexes) {
        if (index.table != table ||
            std::find(present->begin(), present->end(), index.name) != present->end())
            continue;
        odbc::Statement st(connection_);
        made = !odbc::isError(st.execDirect(index.create)) || made;
    }
    if (kind_ == DbmsKind::SQLite && (made || !hasStatistics(table))) {
        odbc::Statement limit(connection_);
        limit.execDirect(sql::kSQLiteAnalysisLimit);
        odbc::Statement analyze(connection_);
        analyze.execDirect(std::string(sql::kSQLiteAnalyze) + std::string(table));
    }
}

bool Schema::hasStatistics(std::string_view table) {
    odbc::Statement st(connection_);
    if (odbc::isError(st.run(sql::kSQLiteStatisticsOf, {odbc::Parameter::text(table)})) ||
        !odbc::isSuccess(st.fetch()))
        return false;
    return st.getInteger(1).value_or(0) > 0;
}

void Schema::updateSensUnits() {
    // Only a row that differs is written: a start that changes nothing writes nothing (on a
    // primary with synchronous standbys every write waits for a standby's confirmation).
    std::map<long long, std::string> stored;
    {
        odbc::Statement read(connection_);
        if (read.valid() && !odbc::isError(read.execDirect(sql::kSelectStoredCalibUnits)))
            while (odbc::isSuccess(read.fetch()))
                if (const auto id = read.getInteger(1))
                    stored[*id] = read.getText(2, 4 * kMaxUnitChars).value_or("");
    }
    odbc::Statement st(connection_);
    if (!st.valid() || odbc::isError(st.prepare(sql::kUpdateCalibUnits)))
        return;
    for (int i = 0; i < 3; ++i) {
        const auto found = stored.find(kDefaultSensUnits[i].id);
        if (found != stored.end() && found->second == kDefaultSensUnits[i].calibUnits)
            continue;
        st.resetParameters();
        st.bindUnitName(kDefaultSensUnits[i].calibUnits);
        st.bindUnitId(kDefaultSensUnits[i].id);
        st.execute();
    }
}

bool Schema::addColumn(std::string_view table, std::string_view column, std::string_view type) {
    odbc::Statement st(connection_);
    if (!st.valid() || odbc::isError(st.execDirect(sql::addColumn(table, column, type))))
        return false;
    ui_.inform("В таблицу " + std::string(table) + " добавлено поле " + std::string(column) + "!",
               "Добавление поля " + std::string(column) + " в таблицу " + std::string(table));
    return true;
}

bool Schema::changeColumnType(std::string_view table, std::string_view column,
                              std::string_view type) {
    // A system that cannot change a type in place is not asked to.
    if (!d().changesTypesInPlace)
        return false;
    odbc::Statement st(connection_);
    if (!st.valid() || odbc::isError(st.execDirect(sql::changeColumnType(
                           table, column, type, d().changeColumnVerb, d().typeKeywordInAlter))))
        return false;
    ui_.inform("Тип поля " + std::string(column) + " таблицы " + std::string(table) +
                   " изменен на " + std::string(type) + "!",
               "Изменения типа поля " + std::string(column));
    return true;
}

bool Schema::columnHasType(std::string_view table, std::string_view column,
                           std::string_view reportedType) {
    const auto type = connection_.columnTypeName(table, column);
    return type && text::toUpper(*type) == text::toUpper(reportedType);
}

bool Schema::rebuildCalibration() {
    if (!d().rebuildable) {
        ui_.warn("Для СУБД MySQL невозможно изменение структуры таблицы CALIBRATION");
        return false;
    }
    odbc::Transaction transaction(connection_);
    if (!transaction.begun()) {
        ui_.warn("Не удалось изменение структуры таблицы CALIBRATION");
        return false;
    }
    bool failed = false;
    // A statement that cannot even be allocated counts as failed: nothing must be
    // reported as changed that was not.
    for (std::string_view statement :
         {d().createTmpCalibration, sql::kCopyToTmpCalibration, sql::kDropCalibration,
          d().recreateCalibration, sql::kCopyFromTmpCalibration, sql::kDropTmpCalibration}) {
        odbc::Statement st(connection_);
        if (odbc::isError(st.execDirect(statement)))
            failed = true;
    }
    if (d().keyAddedAfterRebuild) {
        odbc::Statement st(connection_);
        if (odbc::isError(st.execDirect(sql::kAddCalibrationKey)))
            ui_.warn("Не удалось установить ключ на таблицу CALIBRATION");
    }
    if (failed || odbc::isError(transaction.commit())) {
        transaction.rollback();
        ui_.warn("Не удалось изменить структуру таблицы CALIBRATION", kRebuildCaption);
        return false;
    }
    ui_.inform("Структура таблицы CALIBRATION успешно изменена!", kRebuildCaption);
    return true;
}

// A catalog answer of "missing" or "another type" is acted on only on a live connection:
// one lost while asking gets no answers at all, which is no reason to add, change or
// rebuild anything.
bool Schema::checkCalibrationColumns() {
    const Dialect& dl = d();
    bool needsRebuild = false;
    const std::optional<bool> noFap = columnMissing("CALIBRATION", "FAP");
    if (!noFap)
        return false;
    if (!*noFap) {
        const std::optional<bool> fapDiffers =
            typeDiffers("CALIBRATION", "FAP", dl.reportedLongTextType);
        if (!fapDiffers)
            return false;
        if (*fapDiffers && !changeColumnType("CALIBRATION", "FAP", dl.longTextType))
            needsRebuild = true;
    } else if (!addColumn("CALIBRATION", "FAP", dl.longTextType)) {
        needsRebuild = true;
    }
    const std::optional<bool> sacDiffers =
        typeDiffers("CALIBRATION", "SAC", dl.reportedLongTextType);
    if (!sacDiffers)
        return false;
    if (*sacDiffers && !changeColumnType("CALIBRATION", "SAC", dl.longTextType))
        needsRebuild = true;
    const std::optional<bool> noLddate = columnMissing("CALIBRATION", "LDDATE");
    if (!noLddate)
        return false;
    if (*noLddate && !addColumn("CALIBRATION", "LDDATE", dl.dateType))
        needsRebuild = true;
    const std::optional<bool> startDiffers =
        typeDiffers("CALIBRATION", "STARTDATE", dl.reportedDateType);
    if (!startDiffers)
        return false;
    if (*startDiffers && !changeColumnType("CALIBRATION", "STARTDATE", dl.dateType))
        needsRebuild = true;
    // A change that failed because the connection went meanwhile asks for no rebuild.
    if (needsRebuild && connectionLost())
        return false;
    if (needsRebuild)
        rebuildCalibration();
    return true;
}

bool Schema::connectionLost() {
    SQLUINTEGER dead = SQL_CD_FALSE;
    // A driver that cannot tell leaves the connection taken as alive.
    if (!odbc::isSuccess(
            SQLGetConnectAttr(connection_.handle(), SQL_ATTR_CONNECTION_DEAD, &dead, 0, nullptr)) ||
        dead != SQL_CD_TRUE)
        return false;
    ui_.error("Соединение с сервером базы данных потеряно во время проверки структуры базы "
              "данных: таблицы не проверены, ничего не создано. Подключитесь заново.");
    return true;
}

std::optional<bool> Schema::tableMissing(std::string_view table) {
    if (connection_.tableExists(table))
        return false;
    if (connectionLost())
        return std::nullopt;
    return true;
}

std::optional<bool> Schema::columnMissing(std::string_view table, std::string_view column) {
    if (connection_.columnExists(table, column))
        return false;
    if (connectionLost())
        return std::nullopt;
    return true;
}

std::optional<bool> Schema::typeDiffers(std::string_view table, std::string_view column,
                                        std::string_view reportedType) {
    if (columnHasType(table, column, reportedType))
        return false;
    if (connectionLost())
        return std::nullopt;
    return true;
}

bool Schema::check() {
    siteChanHasLcode_ = false;
    siteChanPresent_ = false;
    if (!detectKind()) {
        ui_.error("Не удалось опредилить тип базы данных");
        return false;
    }

    const std::optional<bool> noSiteChan = tableMissing("SITECHAN");
    if (!noSiteChan)
        return false;
    if (!*noSiteChan) {
        siteChanPresent_ = true;
        const std::optional<bool> noLcode = columnMissing("SITECHAN", "LCODE");
        if (!noLcode)
            return false;
        if (!*noLcode) {
            siteChanHasLcode_ = true;
        } else if (ui_.askYesNo("В таблице SITECHAN отсутствует поле LCODE.\r\nДобавить?") &&
                   addColumn("SITECHAN", "LCODE", "VARCHAR(8)")) {
            siteChanHasLcode_ = true;
        }
    } else if (ui_.askYesNo("В базе данных отсутствует таблица SITECHAN.\r\nСоздать?")) {
        createSiteChan();
    }
    if (siteChanPresent_)
        completeIndexes("SITECHAN");

    const std::optional<bool> noIdSens = tableMissing("ID_SENS");
    if (!noIdSens)
        return false;
    if (*noIdSens) {
        if (!ui_.askYesNo("В базе данных отсутствует таблица ID_SENS.\r\nТаблица ID_SENS "
                          "необходима для корректной работы программы.\r\nСоздать?") ||
            !createIdSens())
            return false;
    } else {
        updateSensUnits();
    }

    const std::optional<bool> noIdFreq = tableMissing("ID_FREQ");
    if (!noIdFreq)
        return false;
    if (*noIdFreq) {
        if (!ui_.askYesNo("В базе данных отсутствует таблица ID_FREQ.\r\nТаблица ID_FREQ "
                          "необходима для корректной работы программы.\r\nСоздать?") ||
            !createIdFreq())
            return false;
    }

    const std::optional<bool> noCalibration = tableMissing("CALIBRATION");
    if (!noCalibration)
        return false;
    if (*noCalibration) {
        if (!ui_.askYesNo("В базе данных отсутствует таблица CALIBRATION.\r\nТаблица "
                          "CALIBRATION необходима работы программы.\r\nСоздать?"))
            return false;
        if (!createCalibration())
            return false;
    } else if (!checkCalibrationColumns()) {
        return false;
    }
    completeIndexes("CALIBRATION");
    return true;
}

} // namespace orv::gainbook
