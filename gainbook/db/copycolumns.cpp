#include "db/copycolumns.h"

#include "text/text.h"

#include <algorithm>
#include <utility>

namespace orv::gainbook::copy {

std::vector<std::string_view> keyOf(std::string_view table) {
    if (table == "SITE")
        return {"STA"};
    if (table == "SITECHAN")
        return {"STA", "CHAN", "NGROUP", "CHANINDEX", "NINDEX"};
    if (table == "ID_SENS")
        return {"ID_SENS"};
    if (table == "ID_FREQ")
        return {"ID_FREQ"};
    return {"NETWORK", "LOCATION", "STA", "CHAN", "STARTDATE"};
}

bool isLongText(SQLSMALLINT type) {
    return type == SQL_LONGVARCHAR || type == SQL_WLONGVARCHAR;
}

std::optional<ValueKind> kindOfType(SQLSMALLINT type) {
    switch (type) {
    case SQL_CHAR:
    case SQL_VARCHAR:
    case SQL_LONGVARCHAR:
    case SQL_WCHAR:
    case SQL_WVARCHAR:
    case SQL_WLONGVARCHAR:
    case SQL_NUMERIC:
    case SQL_DECIMAL:
        return ValueKind::Text;
    case SQL_BIT:
    case SQL_TINYINT:
    case SQL_SMALLINT:
    case SQL_INTEGER:
    case SQL_BIGINT:
        return ValueKind::Integer;
    case SQL_REAL:
    case SQL_FLOAT:
    case SQL_DOUBLE:
        return ValueKind::Double;
    case SQL_DATE:
    case SQL_TIMESTAMP:
    case SQL_TYPE_DATE:
    case SQL_TYPE_TIMESTAMP:
        return ValueKind::Date;
    default:
        return std::nullopt;
    }
}

namespace {

SQLCHAR* sqlText(std::string& s) {
    return reinterpret_cast<SQLCHAR*>(s.data());
}

} // namespace

std::vector<Column> columnsOf(odbc::Connection& connection, std::string_view table) {
    std::vector<Column> columns;
    odbc::Statement st(connection);
    if (!st.valid())
        return columns;
    std::string catalog = connection.currentCatalog();
    std::string t(table);
    if (odbc::isError(SQLColumns(st.handle(), catalog.empty() ? nullptr : sqlText(catalog),
                                 catalog.empty() ? SQLSMALLINT{0} : SQLSMALLINT{SQL_NTS}, nullptr,
                                 0, sqlText(t), SQL_NTS, nullptr, 0)))
        return columns;
    std::optional<std::pair<std::string, std::string>> first;
    while (odbc::isSuccess(st.fetch())) {
        std::pair<std::string, std::string> owner{st.getText(2, 127).value_or(""),
                                                  st.getText(3, 127).value_or("")};
        if (!first)
            first = owner;
        if (owner != *first)
            continue;
        Column c;
        c.name = text::toUpper(st.getText(4, 127).value_or(""));
        c.type = static_cast<SQLSMALLINT>(st.getInteger(5).value_or(0));
        c.size = static_cast<SQLLEN>(st.getInteger(7).value_or(0));
        c.nullable = st.getInteger(11).value_or(SQL_NULLABLE) != SQL_NO_NULLS;
        c.kind = kindOfType(c.type).value_or(ValueKind::Text);
        columns.push_back(std::move(c));
    }
    return columns;
}

std::vector<Column> sortedByName(std::vector<Column> columns) {
    std::sort(columns.begin(), columns.end(),
              [](const Column& a, const Column& b) { return a.name < b.name; });
    return columns;
}

namespace {

// A double column as SQLite's driver gives it keeps only 15 digits: SQLite itself prints
// the 17 that bring the same double back, below 1e100 (above, scaled down exactly first).
std::string selectExpression(const Side& side, const Column& c) {
    if (side.kind != DbmsKind::SQLite || c.kind != ValueKind::Double)
        return c.name;
    std::string scaled = c.name;
    for (int i = 0; i < kScaledExponent / 62; ++i)
        scaled += "/4611686018427387904";
    return "CASE WHEN " + c.name + " IS NULL THEN NULL WHEN abs(" + c.name + ")>=1e100 THEN '" +
           kScaledMark + "'||printf('%!.17g'," + scaled + ") ELSE printf('%!.17g'," + c.name +
           ") END";
}

// Byte order of UTF-8 codes on every back end, NULLs first.
std::string orderExpression(const Side& side, const Column& c) {
    std::string e;
    if (c.nullable)
        e = "CASE WHEN " + c.name + " IS NULL THEN 0 ELSE 1 END,";
    if (c.kind != ValueKind::Text)
        return e + c.name;
    switch (side.kind) {
    case DbmsKind::PostgreSql:
        return e + c.name + " COLLATE \"C\"";
    case DbmsKind::MySql:
        return e + "BINARY " + c.name;
    default:
        return e + c.name;
    }
}

} // namespace

const Column* findColumn(const std::vector<Column>& columns, std::string_view name) {
    for (const Column& c : columns)
        if (c.name == name)
            return &c;
    return nullptr;
}

namespace {

// A value its driver would hand on as something else, and how to show it: the condition
// that finds it in a column and an expression giving its storage class and literal ("text
// 'abc'"), or nothing where every value is read as it is stored.
//  - SQLite keeps a value its column's type cannot take as it was given ('abc' in a DOUBLE
//    column, 1.5 in an INT one, a BLOB anywhere), its driver then gives 0, 1, NULL, or a
//    text cut at a NUL byte: the storage class must be the type's, a text without NUL
//    (the text of a date is read and checked as a date);
//  - PostgreSQL's 'infinity' dates and MySQL's dates with a zero month or day (its
//    '0000-00-00') are no dates: their drivers give some other date or NULL.
struct OddCheck {
    std::string condition;
    std::string shown;
};

std::optional<OddCheck> oddCheck(DbmsKind kind, const Column& c) {
    const std::string& n = c.name;
    if (kind == DbmsKind::PostgreSql && c.kind == ValueKind::Date)
        return OddCheck{"NOT isfinite(" + n + ")", "'date '||quote_literal(" + n + "::text)"};
    if (kind == DbmsKind::MySql && c.kind == ValueKind::Date)
        return OddCheck{"MONTH(" + n + ")=0 OR DAY(" + n + ")=0",
                        "CONCAT('date ',QUOTE(CAST(" + n + " AS CHAR)))"};
    if (kind != DbmsKind::SQLite || c.type == SQL_NUMERIC || c.type == SQL_DECIMAL)
        return std::nullopt;
    const std::string typeOf = "typeof(" + n + ")";
    const std::string withoutNul = " OR instr(CAST(" + n + " AS BLOB),X'00')>0";
    const std::string shown = typeOf + "||' '||substr(quote(" + n + "),1,80)";
    switch (c.kind) {
    case ValueKind::Integer:
        return OddCheck{typeOf + " NOT IN ('integer','null')", shown};
    case ValueKind::Double:
        return OddCheck{typeOf + " NOT IN ('real','null')", shown};
    case ValueKind::Text:
    case ValueKind::Date:
        break;
    }
    return OddCheck{typeOf + " NOT IN ('text','null')" + withoutNul, shown};
}

// The first column of the select: for a row holding such a value, the first one's position
// and how it is shown ("3 text 'abc'"); else NULL.
std::string oddValueColumn(DbmsKind kind, const std::vector<Column>& columns) {
    std::string cases;
    for (std::size_t i = 0; i < columns.size(); ++i)
        if (const auto odd = oddCheck(kind, columns[i])) {
            const std::string position = "'" + std::to_string(i) + " '";
            cases += " WHEN " + odd->condition + " THEN " +
                     (kind == DbmsKind::MySql ? "CONCAT(" + position + "," + odd->shown + ")"
                                              : position + "||" + odd->shown);
        }
    return cases.empty() ? "NULL" : "CASE" + cases + " END";
}

} // namespace

std::string selectStatement(const Side& side, std::string_view table,
                            const std::vector<Column>& columns) {
    std::string sql = "SELECT " + oddValueColumn(side.kind, columns);
    for (const Column& c : columns)
        sql += "," + selectExpression(side, c);
    sql += " FROM " + std::string(table);
    std::string order;
    for (std::string_view key : keyOf(table))
        if (const Column* c = findColumn(columns, key))
            order += (order.empty() ? "" : ",") + orderExpression(side, *c);
    if (!order.empty())
        sql += " ORDER BY " + order;
    return sql;
}

std::optional<DbmsKind> kindOf(odbc::Connection& connection) {
    return classifyDbmsName(connection.dbmsName().value_or(""));
}

} // namespace orv::gainbook::copy
