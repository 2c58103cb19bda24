#include "core/schema.h"

#include "core/messages.h"
#include "core/sql.h"
#include "text/text.h"

#include <cstring>

namespace orv::sitewright {

using orv::text::format;

SchemaDbmsKind classifySchemaDbms(std::string_view dbmsName) {
    const std::string name = orv::text::toUpper(dbmsName);
    auto has = [&](const char* word) { return name.find(word) != std::string::npos; };
    SchemaDbmsKind kind = SchemaDbmsKind::Access;
    if (has("ACCESS"))
        kind = SchemaDbmsKind::Access;
    if (has("MICROSOFT") && has("SQL"))
        kind = SchemaDbmsKind::SqlServer;
    if (has("ORACLE"))
        kind = SchemaDbmsKind::Oracle;
    if (has("MYSQL") || has("MARIADB"))
        kind = SchemaDbmsKind::MySql;
    if (has("POSTGRES"))
        kind = SchemaDbmsKind::PostgreSql;
    if (has("SQLITE"))
        kind = SchemaDbmsKind::SQLite;
    return kind;
}

SchemaTypes schemaTypes(SchemaDbmsKind kind) {
    switch (kind) {
    case SchemaDbmsKind::SqlServer:
        return {"FLOAT", "DATETIME", "ALTER COLUMN", false, true};
    case SchemaDbmsKind::Oracle:
        return {"FLOAT", "DATE", "MODIFY", false, true};
    case SchemaDbmsKind::MySql:
        // DATE would drop the time of day of the opening and closing date-times, and FLOAT
        // is single precision there (a coordinate offset would lose its digits).
        return {"DOUBLE", "DATETIME", "MODIFY", false, true};
    case SchemaDbmsKind::PostgreSql:
        return {"FLOAT", "TIMESTAMP", "ALTER", true, true};
    case SchemaDbmsKind::SQLite:
        // Columns take any value; existing ones need no change (and cannot be changed).
        return {"DOUBLE", "TIMESTAMP", "ALTER", false, false};
    case SchemaDbmsKind::Access:
        break;
    }
    return {"DOUBLE", "DATE", "ALTER", false, true};
}

const std::vector<SchemaColumn>& schemaColumns() {
    static const std::vector<SchemaColumn> columns = {
        {"SITE", "NINDEX", "INT"},
        {"SITE", "COD", "VARCHAR(6)"},
        {"SITE", "STATYPE", "VARCHAR(50)"},
        {"SITE", "STANAME", "VARCHAR(50)"},
        {"SITE", "UNDERGROUND", "VARCHAR(250)"},
        {"SITE", "ONDATE", "date"},
        {"SITE", "OFFDATE", "date"},
        {"SITE", "REFSTA", "VARCHAR(16)"},
        {"SITE", "DNORTH", "real"},
        {"SITE", "DEAST", "real"},
        {"SITECHAN", "LCODE", "VARCHAR(8)"},
        {"ORIGIN", "COMMENTS", "VARCHAR(255)"},
        {"ORIGIN", "ORID", "INT"},
        {"ORIGIN", "MB", "real"},
        {"ORIGIN", "MBUNC", "real"},
        {"ORIGIN", "MS", "real"},
        {"ORIGIN", "MSUNC", "real"},
        {"ARRIVAL", "ARID", "INT"},
        {"ARRIVAL", "DIST", "real"},
        {"ARRIVAL", "MB", "real"},
        {"ARRIVAL", "CODA", "real"},
        {"ARRIVAL", "MS", "real"},
        {"ARRIVAL", "AMPTIME", "real"},
        {"ARRIVAL", "REGCLASS", "real"},
        {"ARRIVAL", "MCODA", "real"},
        {"ARRIVAL", "MPSP", "real"},
        {"ARRIVAL", "MPLP", "real"},
        {"ARRIVAL", "CHANTYPE", "VARCHAR(4)"},
        {"ARRIVAL", "REMARK", "VARCHAR(128)"},
        {"ARRIVAL", "AFILTYPE", "VARCHAR(128)"},
        {"ARRIVAL", "PFILTYPE", "VARCHAR(128)"},
        {"ARRIVAL", "ML", "real"},
    };
    return columns;
}

std::string alterStatement(SchemaDbmsKind kind, const SchemaColumn& column, bool exists) {
    const SchemaTypes t = schemaTypes(kind);
    const char* type = column.type;
    if (std::strcmp(type, "real") == 0)
        type = t.real;
    else if (std::strcmp(type, "date") == 0)
        type = t.date;
    const char* verb = exists ? t.alterVerb : "ADD";
    const char* fourth = exists && t.typeKeyword ? "TYPE" : " ";
    return format(sql::kAlterTable, column.table, verb, column.column, fourth, type);
}

namespace {

bool columnAnswers(orv::odbc::Connection& connection, const SchemaColumn& column) {
    orv::odbc::Statement st(connection);
    if (!st.valid())
        return false;
    return orv::odbc::isSuccess(
        st.execDirect(format(sql::kColumnTest, column.column, column.table)));
}

} // namespace

std::vector<std::string> upgradeSchema(orv::odbc::Connection& connection,
                                       orv::ui::Interaction& ui) {
    const SchemaDbmsKind kind = classifySchemaDbms(connection.dbmsName(256).value_or(""));
    const SchemaTypes types = schemaTypes(kind);
    std::vector<std::string> executed;
    for (const SchemaColumn& column : schemaColumns()) {
        const bool exists = columnAnswers(connection, column);
        if (exists && !types.changesExisting)
            continue;
        const std::string statement = alterStatement(kind, column, exists);
        executed.push_back(statement);
        orv::odbc::Statement st(connection);
        std::string why;
        if (!st.valid()) {
            why = connection.diagnostic();
        } else if (orv::odbc::isError(st.execDirect(statement))) {
            why = st.diagnostic();
        } else {
            continue;
        }
        ui.error(std::string(msg::kDatabaseError) +
                 format(msg::kAddColumnError, column.column, column.table) + why);
    }
    return executed;
}

} // namespace orv::sitewright
