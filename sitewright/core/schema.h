// The schema check and upgrade run by the CHKDB switch: a fixed list of columns of
// SITE, SITECHAN, ORIGIN and ARRIVAL brought to the types this system expects.
#pragma once

#include "odbc/odbc.h"
#include "ui/interaction.h"

#include <string>
#include <string_view>
#include <vector>

namespace orv::sitewright {

enum class SchemaDbmsKind {
    Access = 0, // and any DBMS not recognised
    SqlServer = 1,
    Oracle = 2,
    MySql = 3,
    PostgreSql = 4,
    SQLite = 5,
};

// The kind from the driver's DBMS name.
SchemaDbmsKind classifySchemaDbms(std::string_view dbmsName);

struct SchemaTypes {
    const char* real;
    const char* date;
    const char* alterVerb; // statement for an existing column
    bool typeKeyword;      // "TYPE" before the type
    bool changesExisting;  // false: existing columns are left alone
};
SchemaTypes schemaTypes(SchemaDbmsKind kind);

struct SchemaColumn {
    const char* table;
    const char* column;
    const char* type; // "real" and "date" stand for the kind's types
};
const std::vector<SchemaColumn>& schemaColumns();

// The ALTER TABLE statement for one column, existing or missing.
std::string alterStatement(SchemaDbmsKind kind, const SchemaColumn& column, bool exists);

// Runs the upgrade on the connection, one message box per failing statement. Returns
// the statements it executed, in order.
std::vector<std::string> upgradeSchema(orv::odbc::Connection& connection, orv::ui::Interaction& ui);

} // namespace orv::sitewright
