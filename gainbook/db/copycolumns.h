// The column plan of a copy: which columns a table has, of what kind, in which order its rows
// are read and how each back end is asked for them. A new back end is added here.
#pragma once

#include "db/copychecksum.h"
#include "db/schema.h"
#include "odbc/odbc.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace orv::gainbook::copy {

// The columns that order the rows of each table, most significant first.
std::vector<std::string_view> keyOf(std::string_view table);

struct Column {
    std::string name; // upper case
    SQLSMALLINT type = 0;
    SQLLEN size = 0;
    bool nullable = true;
    ValueKind kind = ValueKind::Text;
};

bool isLongText(SQLSMALLINT type);

std::optional<ValueKind> kindOfType(SQLSMALLINT type);

// The columns of a table in their order (SQLColumns); empty when it has none.
std::vector<Column> columnsOf(odbc::Connection& connection, std::string_view table);

// The checksum does not depend on the order in which a table's columns were made.
std::vector<Column> sortedByName(std::vector<Column> columns);

// How a double of SQLite is read: printf('%!.17g') (its driver keeps only 15 digits), and
// one of 1e100 or more divided first by 2^744 (twelve exact divisions by 2^62) and marked
// with kScaledMark: SQLite's printf misses the 17th digit of some doubles from about 1e100
// up (DBL_MAX comes out as the double below it), but none below.
inline constexpr char kScaledMark = 'p';
inline constexpr int kScaledExponent = 744;

struct Side {
    odbc::Connection& connection;
    DbmsKind kind;
};

const Column* findColumn(const std::vector<Column>& columns, std::string_view name);

// The SELECT of a table in key order, after the column that finds odd values (oddCheck).
std::string selectStatement(const Side& side, std::string_view table,
                            const std::vector<Column>& columns);

// The back end of a connection; nullopt for one the programs do not know.
std::optional<DbmsKind> kindOf(odbc::Connection& connection);

} // namespace orv::gainbook::copy
