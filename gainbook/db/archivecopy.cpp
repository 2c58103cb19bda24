#include "archivecopy.h"

#include "schema.h"
#include "statements.h"
#include "text/text.h"

#include <openssl/evp.h>

#include <algorithm>
#include <charconv>
#include <cstring>
#include <memory>
#include <random>

#include <sys/stat.h>

namespace orv::gainbook::copy {

// --- Values and the checksum --------------------------------------------------------------

namespace {

void appendLittleEndian(std::string& out, std::uint64_t v) {
    for (int i = 0; i < 8; ++i)
        out.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
}

} // namespace

void appendCanonical(std::string& out, ValueKind kind, const Value& value) {
    if (value.null) {
        out.push_back('\0');
        return;
    }
    switch (kind) {
    case ValueKind::Text:
        out.push_back('\x01');
        appendLittleEndian(out, value.text.size());
        out.append(value.text);
        break;
    case ValueKind::Integer:
        out.push_back('\x02');
        appendLittleEndian(out, static_cast<std::uint64_t>(value.integer));
        break;
    case ValueKind::Double: {
        out.push_back('\x03');
        std::uint64_t bits = 0;
        std::memcpy(&bits, &value.number, sizeof bits);
        appendLittleEndian(out, bits);
        break;
    }
    case ValueKind::Date:
        out.push_back('\x04');
        out.append(value.date.toSqlText());
        break;
    }
}

Digest::Digest() : context_(EVP_MD_CTX_new()) {
    EVP_DigestInit_ex(static_cast<EVP_MD_CTX*>(context_), EVP_sha256(), nullptr);
}

Digest::~Digest() {
    EVP_MD_CTX_free(static_cast<EVP_MD_CTX*>(context_));
}

void Digest::add(std::string_view bytes) {
    EVP_DigestUpdate(static_cast<EVP_MD_CTX*>(context_), bytes.data(), bytes.size());
}

std::string Digest::finish() {
    unsigned char hash[EVP_MAX_MD_SIZE];
    unsigned int size = 0;
    EVP_DigestFinal_ex(static_cast<EVP_MD_CTX*>(context_), hash, &size);
    static constexpr char kHex[] = "0123456789abcdef";
    std::string out;
    for (unsigned int i = 0; i < size; ++i) {
        out.push_back(kHex[hash[i] >> 4]);
        out.push_back(kHex[hash[i] & 0xF]);
    }
    return out;
}

namespace {

// --- Tables and columns -------------------------------------------------------------------

// The columns that order the rows of each table, most significant first.
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

struct Column {
    std::string name; // upper case
    SQLSMALLINT type = 0;
    SQLLEN size = 0;
    bool nullable = true;
    ValueKind kind = ValueKind::Text;
};

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

SQLCHAR* sqlText(std::string& s) {
    return reinterpret_cast<SQLCHAR*>(s.data());
}

// The columns of a table in their order (SQLColumns); empty when it has none.
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

// The checksum does not depend on the order in which a table's columns were made.
std::vector<Column> sortedByName(std::vector<Column> columns) {
    std::sort(columns.begin(), columns.end(),
              [](const Column& a, const Column& b) { return a.name < b.name; });
    return columns;
}

struct Side {
    odbc::Connection& connection;
    DbmsKind kind;
};

// A double column as SQLite's driver gives it keeps only 15 digits: SQLite itself prints
// the 17 that bring the same double back.
std::string selectExpression(const Side& side, const Column& c) {
    if (side.kind == DbmsKind::SQLite && c.kind == ValueKind::Double)
        return "CASE WHEN " + c.name + " IS NULL THEN NULL ELSE printf('%!.17g'," + c.name +
               ") END";
    return c.name;
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

const Column* findColumn(const std::vector<Column>& columns, std::string_view name) {
    for (const Column& c : columns)
        if (c.name == name)
            return &c;
    return nullptr;
}

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

// --- Reading ------------------------------------------------------------------------------

bool readText(odbc::Statement& st, SQLUSMALLINT column, Value& v) {
    v.text.clear();
    char chunk[65536];
    for (bool firstPart = true;; firstPart = false) {
        SQLLEN indicator = 0;
        const SQLRETURN rc =
            SQLGetData(st.handle(), column, SQL_C_CHAR, chunk, sizeof chunk, &indicator);
        if (rc == SQL_NO_DATA)
            return !firstPart;
        if (!odbc::isSuccess(rc))
            return false;
        if (indicator == SQL_NULL_DATA) {
            v.null = true;
            return true;
        }
        const bool filled = indicator == SQL_NO_TOTAL || indicator >= SQLLEN(sizeof chunk);
        v.text.append(chunk, filled ? sizeof chunk - 1 : static_cast<std::size_t>(indicator));
        if (!filled)
            return true;
    }
}

// One value of the current row; false when the driver fails to give it.
bool readValue(const Side& side, odbc::Statement& st, SQLUSMALLINT column, const Column& c,
               Value& v) {
    v.null = false;
    SQLLEN indicator = 0;
    SQLRETURN rc = SQL_SUCCESS;
    switch (c.kind) {
    case ValueKind::Text:
        return readText(st, column, v);
    case ValueKind::Integer: {
        SQLBIGINT i = 0;
        rc = SQLGetData(st.handle(), column, SQL_C_SBIGINT, &i, 0, &indicator);
        v.integer = i;
        break;
    }
    case ValueKind::Double:
        if (side.kind == DbmsKind::SQLite) {
            if (!readText(st, column, v))
                return false;
            if (v.null)
                return true;
            const char* end = v.text.data() + v.text.size();
            const auto [p, ec] = std::from_chars(v.text.data(), end, v.number);
            return ec == std::errc() && p == end;
        }
        rc = SQLGetData(st.handle(), column, SQL_C_DOUBLE, &v.number, 0, &indicator);
        break;
    case ValueKind::Date: {
        // SQLite's driver reads a text that is no date as NULL: the stored text is read.
        if (side.kind == DbmsKind::SQLite)
            return readText(st, column, v);
        SQL_TIMESTAMP_STRUCT ts{};
        rc = SQLGetData(st.handle(), column, SQL_C_TYPE_TIMESTAMP, &ts, sizeof ts, &indicator);
        v.date = odbc::Timestamp{ts.year, ts.month, ts.day, ts.hour, ts.minute, ts.second};
        break;
    }
    }
    if (!odbc::isSuccess(rc))
        return false;
    v.null = indicator == SQL_NULL_DATA;
    return true;
}

std::string describeValue(ValueKind kind, const Value& v) {
    if (v.null)
        return "NULL";
    switch (kind) {
    case ValueKind::Text:
        return "'" + v.text + "'";
    case ValueKind::Integer:
        return std::to_string(v.integer);
    case ValueKind::Double:
        return text::format("%.17g", v.number);
    case ValueKind::Date:
        // As SQLite stores it where it was read there.
        return v.text.empty() ? v.date.toSqlText() : v.text;
    }
    return {};
}

// "STA='KIV', CHAN='BHZ', ..." of a row.
std::string describeKey(std::string_view table, const std::vector<Column>& columns,
                        const std::vector<Value>& row) {
    std::string out;
    for (std::string_view key : keyOf(table))
        for (std::size_t i = 0; i < columns.size(); ++i)
            if (columns[i].name == key)
                out += (out.empty() ? "" : ", ") + columns[i].name + "=" +
                       describeValue(columns[i].kind, row[i]);
    return out;
}

// Reads "YYYY-MM-DD HH:MM:SS", "YYYY-MM-DD" or "YYYY-MM-DD HH:MM:SS.000", the forms SQLite
// keeps dates in (a fraction only of zeros: dates are kept to the second), as a date that
// exists; nullopt for any other text.
std::optional<odbc::Timestamp> storedDate(std::string_view text) {
    constexpr std::string_view kForm = "0000-00-00 00:00:00";
    if (text.size() > kForm.size()) {
        const std::string_view fraction = text.substr(kForm.size());
        if (fraction.size() < 2 || fraction[0] != '.' ||
            fraction.find_first_not_of('0', 1) != std::string_view::npos)
            return std::nullopt;
        text = text.substr(0, kForm.size());
    }
    if (text.size() != 10 && text.size() != kForm.size())
        return std::nullopt;
    int fields[6] = {};
    std::size_t field = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (kForm[i] != '0' && text[i] == kForm[i])
            ++field;
        else if (kForm[i] == '0' && text[i] >= '0' && text[i] <= '9')
            fields[field] = fields[field] * 10 + (text[i] - '0');
        else
            return std::nullopt;
    }
    const odbc::Timestamp t{fields[0], fields[1], fields[2], fields[3], fields[4], fields[5]};
    if (!t.isValid())
        return std::nullopt;
    return t;
}

// What a column holds, for a message.
const char* kindName(ValueKind kind) {
    switch (kind) {
    case ValueKind::Text:
        return "текст";
    case ValueKind::Integer:
        return "целое число";
    case ValueKind::Double:
        return "число";
    case ValueKind::Date:
        break;
    }
    return "дата";
}

// A value of the row that cannot be copied as it is: its column, and what it holds.
struct OddValue {
    std::size_t column = 0;
    std::string what;
};

// "хранится текст 'abc'" from "text 'abc'" (a storage class, or "date" for a date that is
// none, and a literal): a text where a text or date is stored is one with a NUL byte.
std::string storedAs(const Column& c, std::string_view classAndLiteral) {
    const std::size_t blank = classAndLiteral.find(' ');
    const std::string_view storage = classAndLiteral.substr(0, blank);
    const std::string literal(blank == std::string_view::npos ? ""
                                                              : classAndLiteral.substr(blank + 1));
    if (storage == "date")
        return "хранится " + literal + ", а не дата";
    if (storage == "text")
        return c.kind == ValueKind::Text || c.kind == ValueKind::Date
                   ? "хранится текст с байтом NUL"
                   : "хранится текст " + literal;
    if (storage == "integer")
        return "хранится целое число " + literal;
    if (storage == "real")
        return "хранится дробное число " + literal;
    return "хранится двоичное значение " + literal;
}

// A table read in key order, row by row (after the column that finds values no other back
// end would take as they are: such a value ends the reading, named with its row's key and
// its column).
class RowReader {
public:
    RowReader(const Side& side, std::string_view table, const std::vector<Column>& columns)
        : side_(side), table_(table), st_(side.connection), columns_(columns) {
        ok_ = st_.valid() && !odbc::isError(st_.execDirect(selectStatement(side, table, columns)));
        if (!ok_)
            error_ = st_.valid() ? st_.diagnostic() : side.connection.diagnostic();
    }
    bool ok() const { return ok_; }
    const std::string& error() const { return error_; }

    // The next row into values and its canonical form into canonical; false at the end or
    // on a failure (then error() says which).
    bool next(std::vector<Value>& values, std::string& canonical) {
        if (!ok_)
            return false;
        const SQLRETURN rc = st_.fetch();
        if (rc == SQL_NO_DATA)
            return false;
        if (!odbc::isSuccess(rc))
            return failed(st_.diagnostic());
        std::optional<OddValue> odd;
        Value check;
        check.null = false;
        if (!readText(st_, 1, check))
            return failed(st_.diagnostic());
        if (!check.null && !(odd = checkedValue(check.text)))
            return failed("непонятный ответ проверки значений: " + check.text);
        values.resize(columns_.size());
        canonical.clear();
        for (std::size_t i = 0; i < columns_.size(); ++i) {
            Value& v = values[i];
            if (!readValue(side_, st_, static_cast<SQLUSMALLINT>(i + 2), columns_[i], v))
                return failed("столбец " + columns_[i].name + ": " + st_.diagnostic());
            if (columns_[i].kind == ValueKind::Date && side_.kind == DbmsKind::SQLite && !v.null &&
                !odd) {
                if (const auto date = storedDate(v.text))
                    v.date = *date;
                else
                    odd = OddValue{i, "хранится текст '" + v.text + "', а не дата"};
            }
            appendCanonical(canonical, columns_[i].kind, v);
        }
        if (odd)
            return failed(describeKey(table_, columns_, values) + ", столбец " +
                          columns_[odd->column].name + " (" + kindName(columns_[odd->column].kind) +
                          "): " + odd->what + "; перенести его как есть нельзя");
        return true;
    }

private:
    bool failed(std::string why) {
        ok_ = false;
        error_ = std::move(why);
        return false;
    }

    // The value the check column names ("3 text 'abc'": position, storage class, literal).
    std::optional<OddValue> checkedValue(const std::string& check) const {
        OddValue odd;
        const char* end = check.data() + check.size();
        const auto [blank, ec] = std::from_chars(check.data(), end, odd.column);
        if (ec != std::errc() || odd.column >= columns_.size() || blank == end)
            return std::nullopt;
        odd.what = storedAs(columns_[odd.column], std::string_view(blank + 1, end));
        return odd;
    }

    const Side& side_;
    std::string table_;
    odbc::Statement st_;
    const std::vector<Column>& columns_;
    bool ok_ = false;
    std::string error_;
};

void startDigest(Digest& digest, std::string_view table, const std::vector<Column>& columns) {
    digest.add(table);
    digest.add(std::string_view("\0", 1));
    for (const Column& c : columns) {
        digest.add(c.name);
        digest.add(std::string_view("\0", 1));
    }
}

std::optional<std::int64_t> countRows(odbc::Connection& connection, std::string_view table,
                                      std::string& error) {
    odbc::Statement st(connection);
    if (odbc::isError(st.execDirect("SELECT COUNT(*) FROM " + std::string(table))) ||
        !odbc::isSuccess(st.fetch())) {
        error = st.valid() ? st.diagnostic() : connection.diagnostic();
        return std::nullopt;
    }
    return st.getInteger(1);
}

// --- Writing ------------------------------------------------------------------------------

// One prepared INSERT of a table, executed on arrays of rows where the driver takes them
// (bound column by column, each array as wide as its longest value in the batch).
class BatchWriter {
public:
    BatchWriter(const Side& side, std::string_view table, const std::vector<Column>& columns,
                const std::vector<Column>& targetColumns, std::size_t maxRows)
        : side_(side), table_(table), columns_(columns), st_(side.connection) {
        for (const Column& c : columns)
            targetTypes_.push_back(findColumn(targetColumns, c.name)->type);
        for (const Column& c : columns)
            targetSizes_.push_back(findColumn(targetColumns, c.name)->size);
        std::string sql = "INSERT INTO " + std::string(table) + "(";
        std::string marks;
        for (std::size_t i = 0; i < columns.size(); ++i) {
            sql += (i ? "," : "") + columns[i].name;
            marks += i ? ",?" : "?";
        }
        sql += ") VALUES(" + marks + ")";
        if (!st_.valid() || odbc::isError(st_.prepare(sql))) {
            error_ = st_.valid() ? st_.diagnostic() : side.connection.diagnostic();
            return;
        }
        prepared_ = true;
        // A driver without arrays refuses the size or puts its own in place.
        maxRows_ = 1;
        if (maxRows > 1 &&
            odbc::isSuccess(SQLSetStmtAttr(st_.handle(), SQL_ATTR_PARAMSET_SIZE,
                                           reinterpret_cast<SQLPOINTER>(maxRows), 0))) {
            SQLULEN taken = 0;
            if (odbc::isSuccess(
                    SQLGetStmtAttr(st_.handle(), SQL_ATTR_PARAMSET_SIZE, &taken, 0, nullptr)) &&
                taken == maxRows)
                maxRows_ = maxRows;
        }
        SQLSetStmtAttr(st_.handle(), SQL_ATTR_PARAM_BIND_TYPE,
                       reinterpret_cast<SQLPOINTER>(SQL_PARAM_BIND_BY_COLUMN), 0);
    }

    bool prepared() const { return prepared_; }
    const std::string& error() const { return error_; }
    std::size_t maxRows() const { return maxRows_; }
    std::size_t largestArray() const { return largest_; }

    // Takes one row; false (error() says why, naming the row) when it or the batch it
    // completes cannot be written.
    bool add(std::vector<Value>&& row) {
        for (std::size_t i = 0; i < columns_.size(); ++i) {
            if (row[i].null)
                continue;
            if (const auto why = refusal(i, row[i])) {
                error_ = table_ + ", " + describeKey(table_, columns_, row) + ": " + *why;
                return false;
            }
        }
        std::size_t width = 0;
        for (const Value& v : row)
            width += v.text.size() + 16;
        // Arrays are as wide as their widest value: a long text goes in a smaller batch.
        constexpr std::size_t kBudget = 8u << 20;
        if (!rows_.empty() && (rows_.size() + 1) * std::max(width, widest_) > kBudget && !flush())
            return false;
        widest_ = std::max(widest_, width);
        rows_.push_back(std::move(row));
        return rows_.size() < maxRows_ || flush();
    }

    // Writes the rows taken; false (error() says why) when the target refuses them.
    bool flush() {
        const std::size_t n = rows_.size();
        if (n == 0)
            return true;
        largest_ = std::max(largest_, n);
        SQLSetStmtAttr(st_.handle(), SQL_ATTR_PARAMSET_SIZE, reinterpret_cast<SQLPOINTER>(n), 0);
        std::vector<SQLUSMALLINT> status(n, SQL_PARAM_UNUSED);
        SQLULEN processed = 0;
        if (maxRows_ > 1) {
            SQLSetStmtAttr(st_.handle(), SQL_ATTR_PARAM_STATUS_PTR, status.data(), 0);
            SQLSetStmtAttr(st_.handle(), SQL_ATTR_PARAMS_PROCESSED_PTR, &processed, 0);
        }
        std::vector<std::vector<char>> buffers(columns_.size());
        std::vector<std::vector<SQLLEN>> indicators(columns_.size(), std::vector<SQLLEN>(n));
        for (std::size_t c = 0; c < columns_.size(); ++c) {
            if (!bindColumn(c, buffers[c], indicators[c])) {
                error_ = table_ + ": " + st_.diagnostic();
                rows_.clear();
                return false;
            }
        }
        const SQLRETURN rc = st_.execute();
        const auto errors = static_cast<std::size_t>(
            maxRows_ > 1 ? std::count(status.begin(), status.end(), SQL_PARAM_ERROR) : 0);
        if (odbc::isError(rc) || errors > 0) {
            const std::string diagnostic = st_.diagnostic();
            error_ = table_ + ", " + failedRows(status, errors, diagnostic) + ": " + diagnostic;
            rows_.clear();
            return false;
        }
        SQLFreeStmt(st_.handle(), SQL_CLOSE);
        SQLFreeStmt(st_.handle(), SQL_RESET_PARAMS);
        written_ += static_cast<std::int64_t>(n);
        rows_.clear();
        widest_ = 0;
        return true;
    }
    std::int64_t written() const { return written_; }

private:
    // The key of the row a failed execution of the array names: the only row; the first
    // the driver marks failed where it marks some rows and not others; the row of MySQL's
    // "... at row N" (counted in the array). Else the array's first and last keys.
    std::string failedRows(const std::vector<SQLUSMALLINT>& status, std::size_t errors,
                           const std::string& diagnostic) const {
        const std::size_t n = rows_.size();
        std::optional<std::size_t> row;
        if (n == 1)
            row = 0;
        else if (errors > 0 && errors < n)
            row = static_cast<std::size_t>(
                std::find(status.begin(), status.end(), SQL_PARAM_ERROR) - status.begin());
        else if (side_.kind == DbmsKind::MySql)
            row = mySqlRow(diagnostic);
        if (row && *row < n)
            return describeKey(table_, columns_, rows_[*row]);
        return "одна из строк от " + describeKey(table_, columns_, rows_.front()) + " до " +
               describeKey(table_, columns_, rows_.back());
    }

    // MySQL's row of "... at row 7" at the end of its message, from 0; nullopt without one.
    static std::optional<std::size_t> mySqlRow(std::string_view diagnostic) {
        constexpr std::string_view kAtRow = " at row ";
        const std::size_t at = diagnostic.rfind(kAtRow);
        if (at == std::string_view::npos)
            return std::nullopt;
        const std::string number = text::trim(diagnostic.substr(at + kAtRow.size()));
        std::size_t row = 0;
        const auto [end, ec] = std::from_chars(number.data(), number.data() + number.size(), row);
        if (ec != std::errc() || end != number.data() + number.size() || row == 0)
            return std::nullopt;
        return row - 1;
    }

    // Why the target's column cannot take a value as it is; nullopt when it can. A refusal
    // of the server's own would name no row (PostgreSQL fails a whole array): PostgreSQL's
    // texts are UTF-8 and its INTEGER and SMALLINT have 32 and 16 bits.
    std::optional<std::string> refusal(std::size_t c, const Value& value) const {
        const bool postgreSql = side_.kind == DbmsKind::PostgreSql;
        if (columns_[c].kind == ValueKind::Text) {
            if (postgreSql && !text::isValidUtf8(value.text))
                return "текст столбца " + columns_[c].name +
                       " не в UTF-8 (в Windows-1251?) и не может быть записан в PostgreSQL";
            return tooLong(c, value.text);
        }
        const int bits = targetTypes_[c] == SQL_SMALLINT  ? 16
                         : targetTypes_[c] == SQL_INTEGER ? 32
                                                          : 64;
        if (!postgreSql || columns_[c].kind != ValueKind::Integer || bits == 64 ||
            (value.integer >= -(std::int64_t{1} << (bits - 1)) &&
             value.integer < (std::int64_t{1} << (bits - 1))))
            return std::nullopt;
        return "целое число " + std::to_string(value.integer) + " столбца " + columns_[c].name +
               " не помещается в столбец получателя (" + std::to_string(bits) + " бит)";
    }

    // Why the target's column would cut the text; nullopt when it holds it whole. SQLite
    // keeps texts of any length; a long text column elsewhere than on MySQL has no limit.
    std::optional<std::string> tooLong(std::size_t c, const std::string& value) const {
        const SQLLEN size = targetSizes_[c];
        if (side_.kind == DbmsKind::SQLite || size <= 0)
            return std::nullopt;
        const bool longText = isLongText(targetTypes_[c]);
        if (longText && side_.kind != DbmsKind::MySql)
            return std::nullopt;
        const std::size_t length = longText ? value.size() : text::length(value);
        if (length <= static_cast<std::size_t>(size))
            return std::nullopt;
        return "текст столбца " + columns_[c].name + " (" + std::to_string(length) +
               (longText ? " байт" : " символов") + ") не помещается в столбец получателя (" +
               std::to_string(size) + ")";
    }

    bool bindColumn(std::size_t c, std::vector<char>& buffer, std::vector<SQLLEN>& indicator) {
        const std::size_t n = rows_.size();
        const auto column = static_cast<SQLUSMALLINT>(c + 1);
        const ValueKind kind = columns_[c].kind;
        // Dates travel as text on SQLite, in the form its literals take.
        if (kind == ValueKind::Text ||
            (kind == ValueKind::Date && side_.kind == DbmsKind::SQLite)) {
            std::size_t width = 1;
            for (const auto& row : rows_)
                width = std::max(width, (kind == ValueKind::Date ? 19 : row[c].text.size()) + 1);
            buffer.assign(n * width, '\0');
            for (std::size_t r = 0; r < n; ++r) {
                const Value& v = rows_[r][c];
                const std::string s = kind == ValueKind::Date ? v.date.toSqlText() : v.text;
                std::memcpy(buffer.data() + r * width, s.data(), v.null ? 0 : s.size());
                indicator[r] = v.null ? SQL_NULL_DATA : static_cast<SQLLEN>(s.size());
            }
            const SQLSMALLINT sqlType = kind == ValueKind::Date       ? SQL_TYPE_TIMESTAMP
                                        : isLongText(targetTypes_[c]) ? SQL_LONGVARCHAR
                                                                      : SQL_VARCHAR;
            return odbc::isSuccess(
                SQLBindParameter(st_.handle(), column, SQL_PARAM_INPUT, SQL_C_CHAR, sqlType,
                                 kind == ValueKind::Date ? 19 : width - 1, 0, buffer.data(),
                                 static_cast<SQLLEN>(width), indicator.data()));
        }
        std::size_t size = kind == ValueKind::Date ? sizeof(SQL_TIMESTAMP_STRUCT) : 8;
        buffer.assign(n * size, '\0');
        for (std::size_t r = 0; r < n; ++r) {
            const Value& v = rows_[r][c];
            indicator[r] = v.null ? SQL_NULL_DATA : 0;
            char* at = buffer.data() + r * size;
            if (kind == ValueKind::Integer) {
                const SQLBIGINT i = v.integer;
                std::memcpy(at, &i, sizeof i);
            } else if (kind == ValueKind::Double) {
                std::memcpy(at, &v.number, sizeof v.number);
            } else {
                SQL_TIMESTAMP_STRUCT ts{};
                ts.year = static_cast<SQLSMALLINT>(v.date.year);
                ts.month = static_cast<SQLUSMALLINT>(v.date.month);
                ts.day = static_cast<SQLUSMALLINT>(v.date.day);
                ts.hour = static_cast<SQLUSMALLINT>(v.date.hour);
                ts.minute = static_cast<SQLUSMALLINT>(v.date.minute);
                ts.second = static_cast<SQLUSMALLINT>(v.date.second);
                std::memcpy(at, &ts, sizeof ts);
            }
        }
        const SQLSMALLINT cType = kind == ValueKind::Integer  ? SQL_C_SBIGINT
                                  : kind == ValueKind::Double ? SQL_C_DOUBLE
                                                              : SQL_C_TYPE_TIMESTAMP;
        const SQLSMALLINT sqlType = kind == ValueKind::Integer  ? SQL_BIGINT
                                    : kind == ValueKind::Double ? SQL_DOUBLE
                                                                : SQL_TYPE_TIMESTAMP;
        return odbc::isSuccess(SQLBindParameter(
            st_.handle(), column, SQL_PARAM_INPUT, cType, sqlType, kind == ValueKind::Date ? 19 : 0,
            0, buffer.data(), static_cast<SQLLEN>(size), indicator.data()));
    }

    const Side& side_;
    std::string table_;
    const std::vector<Column>& columns_;
    std::vector<SQLSMALLINT> targetTypes_;
    std::vector<SQLLEN> targetSizes_;
    odbc::Statement st_;
    bool prepared_ = false;
    std::string error_;
    std::size_t maxRows_ = 1;
    std::size_t largest_ = 0;
    std::size_t widest_ = 0;
    std::vector<std::vector<Value>> rows_;
    std::int64_t written_ = 0;
};

// --- The copy -----------------------------------------------------------------------------

// One transaction on a connection. The SQLite driver reads a whole result into memory
// while its own transaction is open: there the transaction is begun and ended by
// statements, with the driver in autocommit, so that it keeps stepping through results.
class Transaction {
public:
    Transaction(odbc::Connection& connection, DbmsKind kind, bool reading)
        : connection_(connection), statements_(kind == DbmsKind::SQLite) {
        if (statements_) {
            // The target's write lock first: another writer then waits for the copy, or the
            // copy for it, neither holding the file for reading meanwhile.
            begun_ = run(reading ? "BEGIN" : "BEGIN IMMEDIATE");
            return;
        }
        // PostgreSQL reads a repeatable-read transaction from one snapshot (a hot standby
        // allows it, where it refuses serializable); MySQL's own level (REPEATABLE READ)
        // does, where its serializable one would lock every row read.
        transaction_ = std::make_unique<odbc::Transaction>(
            connection, reading && kind != DbmsKind::MySql
                            ? odbc::Transaction::Isolation::RepeatableRead
                            : odbc::Transaction::Isolation::Default);
        begun_ = transaction_->begun();
    }
    ~Transaction() {
        if (statements_ && begun_ && !ended_)
            run("ROLLBACK");
    }
    Transaction(const Transaction&) = delete;
    Transaction& operator=(const Transaction&) = delete;

    bool begun() const { return begun_; }
    // The driver's message when the transaction could not begin or commit.
    const std::string& diagnostic() const { return diagnostic_; }
    bool commit() {
        ended_ = true;
        if (!statements_) {
            const bool ok = !odbc::isError(transaction_->commit());
            diagnostic_ = transaction_->diagnostic();
            return ok;
        }
        if (run("COMMIT"))
            return true;
        run("ROLLBACK");
        return false;
    }
    void rollback() {
        if (ended_ || !begun_)
            return;
        ended_ = true;
        if (statements_)
            run("ROLLBACK");
        else
            transaction_->rollback();
    }

private:
    bool run(const char* sql) {
        odbc::Statement st(connection_);
        if (!odbc::isError(st.execDirect(sql)))
            return true;
        diagnostic_ = st.valid() ? st.diagnostic() : connection_.diagnostic();
        return false;
    }

    odbc::Connection& connection_;
    bool statements_;
    bool begun_ = false;
    bool ended_ = false;
    std::string diagnostic_;
    std::unique_ptr<odbc::Transaction> transaction_;
};

// Boxes of the schema code, kept: the last one says why a table could not be made.
class QuietInteraction : public ui::Interaction {
public:
    ui::Answer message(std::string_view text, std::string_view, ui::Icon, ui::Buttons) override {
        last = text::replaceAll(text::trim(text), "\r\n", " ");
        return ui::Answer::No;
    }
    std::optional<std::string> openFile(const ui::FileChoice&) override { return std::nullopt; }
    std::optional<std::string> saveFile(const ui::FileChoice&) override { return std::nullopt; }
    std::string last;
};

std::optional<DbmsKind> kindOf(odbc::Connection& connection) {
    return classifyDbmsName(connection.dbmsName().value_or(""));
}

bool createTable(Schema& schema, std::string_view table) {
    if (table == "SITE")
        return schema.createSite();
    if (table == "SITECHAN")
        return schema.createSiteChan();
    if (table == "ID_SENS")
        return schema.createIdSens(false);
    if (table == "ID_FREQ")
        return schema.createIdFreq(false);
    return schema.createCalibration();
}

struct TablePlan {
    std::string table;
    // Positions (in columns) of the target's self-numbering columns: where the source
    // holds no number the target gives one (SITECHAN.NINDEX on MySQL, AUTO_INCREMENT).
    std::vector<std::size_t> numbered;
    std::vector<Column> columns; // the source's, in its order
    std::vector<Column> targetColumns;
    bool exists = false; // in the target
    std::int64_t targetRows = 0;
    TableReport report;
};

class Copy {
public:
    Copy(odbc::Connection& source, DbmsKind sourceKind, odbc::Connection& target,
         DbmsKind targetKind, const CopyOptions& options, const Progress& progress)
        : source_{source, sourceKind}, target_{target, targetKind}, options_(options),
          progress_(progress), schema_(target, ui_) {
        schema_.setKind(targetKind);
    }

    CopyReport run() {
        CopyReport report;
        Transaction reading(source_.connection, source_.kind, true);
        if (!reading.begun())
            return fail(report,
                        "источник: " + reading.diagnostic() + source_.connection.diagnostic());
        if (!plan(report))
            return report;
        // On MySQL every change of a table commits at once: the tables are made before the
        // transaction and dropped again if the copy fails.
        const bool ddlCommits = target_.kind == DbmsKind::MySql;
        if (ddlCommits && !createMissing(report, true))
            return dropCreated(report);
        Transaction writing(target_.connection, target_.kind, false);
        if (!writing.begun())
            return dropCreated(fail(report, "получатель: " + writing.diagnostic() +
                                                target_.connection.diagnostic()));
        if (!ddlCommits && !createMissing(report, false))
            return report;
        if (!replaceRows(report) || !copyRows(report))
            return dropCreated(report, &writing);
        if (!ddlCommits)
            for (const TablePlan& p : plans_)
                if (p.report.created && (p.table == "SITECHAN" || p.table == "CALIBRATION"))
                    schema_.completeIndexes(p.table);
        if (!verify(report))
            return dropCreated(report, &writing);
        if (!writing.commit())
            return dropCreated(fail(report, "получатель: " + writing.diagnostic()));
        report.ok = true;
        for (const TablePlan& p : plans_)
            report.tables.push_back(p.report);
        report.arrayRows = largestArray_;
        return report;
    }

private:
    static CopyReport& fail(CopyReport& report, std::string why) {
        report.ok = false;
        if (report.error.empty())
            report.error = std::move(why);
        return report;
    }

    // What is copied, and whether the target may take it.
    bool plan(CopyReport& report) {
        std::vector<std::string> wanted;
        for (std::string_view t : kTables) {
            const bool asked =
                options_.tables.empty() ||
                std::any_of(options_.tables.begin(), options_.tables.end(),
                            [t](const std::string& a) { return text::equalsNoCase(a, t); });
            if (!asked)
                continue;
            if (!source_.connection.tableExists(t)) {
                if (options_.tables.empty())
                    continue;
                fail(report, "в источнике нет таблицы " + std::string(t));
                return false;
            }
            TablePlan p;
            p.table = t;
            p.report.table = t;
            p.columns = sortedByName(columnsOf(source_.connection, t));
            if (p.columns.empty()) {
                fail(report, std::string(t) + ": столбцы источника не прочитаны");
                return false;
            }
            for (const Column& c : p.columns)
                if (!kindOfType(c.type)) {
                    fail(report, std::string(t) + ": тип столбца " + c.name +
                                     " источника не поддерживается (" + std::to_string(c.type) +
                                     ")");
                    return false;
                }
            p.exists = target_.connection.tableExists(t);
            if (p.exists) {
                std::string error;
                const auto rows = countRows(target_.connection, t, error);
                if (!rows) {
                    fail(report, std::string(t) + ", получатель: " + error);
                    return false;
                }
                p.targetRows = *rows;
                if (*rows > 0 && !options_.replace) {
                    fail(report, "таблица " + std::string(t) + " получателя не пуста (строк: " +
                                     std::to_string(*rows) + "); заменить их: --replace");
                    return false;
                }
                p.targetColumns = columnsOf(target_.connection, t);
                if (!checkColumns(report, p))
                    return false;
            }
            plans_.push_back(std::move(p));
        }
        if (plans_.empty()) {
            fail(report, "в источнике нет ни одной из таблиц SITE, SITECHAN, ID_SENS, ID_FREQ, "
                         "CALIBRATION");
            return false;
        }
        return true;
    }

    bool checkColumns(CopyReport& report, const TablePlan& p) {
        for (const Column& c : p.columns)
            if (!findColumn(p.targetColumns, c.name)) {
                fail(report, "в таблице " + p.table + " получателя нет столбца " + c.name);
                return false;
            }
        return true;
    }

    bool createMissing(CopyReport& report, bool withIndexes) {
        for (TablePlan& p : plans_) {
            if (p.exists)
                continue;
            if (!createTable(schema_, p.table)) {
                fail(report, "получатель: " + ui_.last);
                return false;
            }
            p.report.created = true;
            if (withIndexes && (p.table == "SITECHAN" || p.table == "CALIBRATION"))
                schema_.completeIndexes(p.table);
            p.targetColumns = columnsOf(target_.connection, p.table);
            if (!checkColumns(report, p))
                return false;
        }
        for (TablePlan& p : plans_)
            findNumbered(p);
        return true;
    }

    void findNumbered(TablePlan& p) {
        if (target_.kind != DbmsKind::MySql)
            return;
        odbc::Statement st(target_.connection);
        if (odbc::isError(st.run(sql::kMySqlSelfNumberedColumns, {odbc::Parameter::text(p.table)})))
            return;
        while (odbc::isSuccess(st.fetch())) {
            const std::string name = text::toUpper(st.getText(1, 127).value_or(""));
            for (std::size_t i = 0; i < p.columns.size(); ++i)
                if (p.columns[i].name == name)
                    p.numbered.push_back(i);
        }
    }

    // Drops the tables made by the copy on a back end that commits them at once.
    CopyReport& dropCreated(CopyReport& report, Transaction* writing = nullptr) {
        if (writing)
            writing->rollback();
        if (target_.kind != DbmsKind::MySql)
            return report;
        for (auto p = plans_.rbegin(); p != plans_.rend(); ++p)
            if (p->report.created) {
                odbc::Statement st(target_.connection);
                st.execDirect("DROP TABLE " + p->table);
            }
        return report;
    }

    bool replaceRows(CopyReport& report) {
        for (auto p = plans_.rbegin(); p != plans_.rend(); ++p) {
            if (!p->exists || p->targetRows == 0)
                continue;
            odbc::Statement st(target_.connection);
            if (odbc::isError(st.execDirect("DELETE FROM " + p->table))) {
                fail(report, p->table + ", получатель: " + st.diagnostic());
                return false;
            }
        }
        return true;
    }

    bool copyRows(CopyReport& report) {
        for (TablePlan& p : plans_) {
            std::string error;
            const auto total = countRows(source_.connection, p.table, error);
            if (!total) {
                fail(report, p.table + ", источник: " + error);
                return false;
            }
            BatchWriter writer(target_, p.table, p.columns, p.targetColumns, options_.batchRows);
            if (!writer.prepared()) {
                fail(report, p.table + ", получатель: " + writer.error());
                return false;
            }
            RowReader reader(source_, p.table, p.columns);
            Digest digest;
            startDigest(digest, p.table, p.columns);
            std::vector<Value> row;
            std::string canonical;
            std::int64_t reported = 0;
            while (reader.next(row, canonical)) {
                digest.add(canonical);
                ++p.report.rows;
                if (!writer.add(std::move(row))) {
                    fail(report, writer.error());
                    return false;
                }
                row.clear();
                if (progress_ && writer.written() != reported) {
                    reported = writer.written();
                    progress_(p.table, reported, *total);
                }
            }
            if (!reader.ok()) {
                fail(report, p.table + ", источник: " + reader.error());
                return false;
            }
            if (!writer.flush()) {
                fail(report, writer.error());
                return false;
            }
            if (progress_)
                progress_(p.table, writer.written(), *total);
            largestArray_ = std::max(largestArray_, writer.largestArray());
            p.report.sourceChecksum = digest.finish();
        }
        return true;
    }

    // Every table read back from the target: its row count and checksum must be the
    // source's; else the first row that differs is named.
    bool verify(CopyReport& report) {
        for (TablePlan& p : plans_) {
            std::string error;
            const auto rows = countRows(target_.connection, p.table, error);
            if (!rows) {
                fail(report, p.table + ", получатель: " + error);
                return false;
            }
            p.report.copied = *rows;
            if (!p.numbered.empty()) {
                if (!compareSideBySide(report, p))
                    return false;
                continue;
            }
            RowReader reader(target_, p.table, p.columns);
            Digest digest;
            startDigest(digest, p.table, p.columns);
            std::vector<Value> row;
            std::string canonical;
            while (reader.next(row, canonical))
                digest.add(canonical);
            if (!reader.ok()) {
                fail(report, p.table + ", получатель: " + reader.error());
                return false;
            }
            p.report.targetChecksum = digest.finish();
            if (*rows != p.report.rows || p.report.targetChecksum != p.report.sourceChecksum) {
                fail(report,
                     p.table + ": после записи в получателе строк " + std::to_string(*rows) +
                         " из " + std::to_string(p.report.rows) + ", контрольные суммы " +
                         (p.report.targetChecksum == p.report.sourceChecksum ? "совпадают"
                                                                             : "различаются") +
                         firstDifference(p));
                return false;
            }
        }
        return true;
    }

    // A table with a column the target numbers itself: the source read again beside the
    // target, row by row; where the source has no number, any number of the target's
    // counts as equal.
    bool compareSideBySide(CopyReport& report, TablePlan& p) {
        RowReader source(source_, p.table, p.columns);
        RowReader target(target_, p.table, p.columns);
        Digest digest;
        startDigest(digest, p.table, p.columns);
        std::vector<Value> sourceRow, targetRow;
        std::string sourceCanonical, targetCanonical;
        for (;;) {
            const bool s = source.next(sourceRow, sourceCanonical);
            const bool t = target.next(targetRow, targetCanonical);
            if (!source.ok() || !target.ok()) {
                fail(report, p.table + ": " +
                                 (source.ok() ? "получатель: " + target.error()
                                              : "источник: " + source.error()));
                return false;
            }
            if (!s && !t)
                break;
            if (t)
                digest.add(targetCanonical);
            bool same = s && t;
            bool numbered = false;
            for (std::size_t i = 0; same && i < p.columns.size(); ++i) {
                const bool exempt =
                    sourceRow[i].null &&
                    std::find(p.numbered.begin(), p.numbered.end(), i) != p.numbered.end();
                if (exempt) {
                    numbered = numbered || !targetRow[i].null;
                    continue;
                }
                std::string a, b;
                appendCanonical(a, p.columns[i].kind, sourceRow[i]);
                appendCanonical(b, p.columns[i].kind, targetRow[i]);
                same = a == b;
            }
            if (!same) {
                fail(report, p.table + ": после записи в получателе строки различаются" +
                                 firstDifference(p));
                return false;
            }
            p.report.numberedRows += numbered ? 1 : 0;
        }
        p.report.targetChecksum = digest.finish();
        if (p.report.copied != p.report.rows) {
            fail(report, p.table + ": после записи в получателе строк " +
                             std::to_string(p.report.copied) + " из " +
                             std::to_string(p.report.rows));
            return false;
        }
        return true;
    }

    // "; первое различие: ключ ..." from reading both sides again, side by side.
    std::string firstDifference(const TablePlan& p) {
        RowReader source(source_, p.table, p.columns);
        RowReader target(target_, p.table, p.columns);
        std::vector<Value> sourceRow, targetRow;
        std::string sourceCanonical, targetCanonical;
        for (;;) {
            const bool s = source.next(sourceRow, sourceCanonical);
            const bool t = target.next(targetRow, targetCanonical);
            if (!s && !t)
                return {};
            if (s && t && sourceCanonical == targetCanonical)
                continue;
            if (!s)
                return "; первое различие: лишняя строка в получателе, ключ " +
                       describeKey(p.table, p.columns, targetRow);
            std::string where =
                "; первое различие: ключ " + describeKey(p.table, p.columns, sourceRow);
            if (t)
                for (std::size_t i = 0; i < p.columns.size(); ++i) {
                    std::string a, b;
                    appendCanonical(a, p.columns[i].kind, sourceRow[i]);
                    appendCanonical(b, p.columns[i].kind, targetRow[i]);
                    if (a != b)
                        return where + ", столбец " + p.columns[i].name + ": " +
                               describeValue(p.columns[i].kind, sourceRow[i]) + " -> " +
                               describeValue(p.columns[i].kind, targetRow[i]);
                }
            return where + (t ? "" : " (нет в получателе)");
        }
    }

    Side source_;
    Side target_;
    const CopyOptions& options_;
    const Progress& progress_;
    QuietInteraction ui_;
    Schema schema_;
    std::vector<TablePlan> plans_;
    std::size_t largestArray_ = 0;
};

// --- One database under two names --------------------------------------------------------

// The file of an SQLite connection's main database; "" for one in memory.
std::string sqliteFile(odbc::Connection& connection) {
    odbc::Statement st(connection);
    if (odbc::isError(st.execDirect(sql::kSQLiteDatabaseFiles)))
        return {};
    while (odbc::isSuccess(st.fetch()))
        if (st.getText(2, 127).value_or("") == "main")
            return st.getText(3, 4096).value_or("");
    return {};
}

bool sameFile(const std::string& a, const std::string& b) {
    struct stat first {
    }, second{};
    return !a.empty() && !b.empty() && stat(a.c_str(), &first) == 0 &&
           stat(b.c_str(), &second) == 0 && first.st_dev == second.st_dev &&
           first.st_ino == second.st_ino;
}

// The first column of a query's first row; nullopt for NULL or a failure.
std::optional<long long> firstInteger(odbc::Connection& connection, std::string_view sql,
                                      const std::vector<odbc::Parameter>& parameters) {
    odbc::Statement st(connection);
    if (odbc::isError(st.run(sql, parameters)) || !odbc::isSuccess(st.fetch()))
        return std::nullopt;
    return st.getInteger(1);
}

// A lock name or key no other copy takes at the same time.
long randomKey() {
    static std::random_device random;
    return static_cast<long>(random() & 0x7FFFFFFF);
}

bool samePostgreSqlDatabase(odbc::Connection& source, odbc::Connection& target) {
    const std::vector<odbc::Parameter> key{odbc::Parameter::integer(randomKey()),
                                           odbc::Parameter::integer(randomKey())};
    if (firstInteger(source, sql::kPostgreSqlTryLock, key) != 1)
        return false;
    const auto taken = firstInteger(target, sql::kPostgreSqlTryLock, key);
    if (taken == 1)
        firstInteger(target, sql::kPostgreSqlUnlock, key);
    firstInteger(source, sql::kPostgreSqlUnlock, key);
    return taken == 0;
}

// The database both work in when they are one, else nullopt.
std::optional<std::string> sameMySqlDatabase(odbc::Connection& source, odbc::Connection& target) {
    const std::vector<odbc::Parameter> name{odbc::Parameter::text(
        "orv-copy-" + std::to_string(randomKey()) + "-" + std::to_string(randomKey()))};
    if (firstInteger(source, sql::kMySqlTryLock, name) != 1)
        return std::nullopt;
    std::optional<std::string> same;
    {
        odbc::Statement st(target);
        odbc::Statement database(source);
        if (!odbc::isError(st.run(sql::kMySqlLockHolder, name)) && odbc::isSuccess(st.fetch()) &&
            st.getInteger(1) && !odbc::isError(database.execDirect(sql::kMySqlDatabase)) &&
            odbc::isSuccess(database.fetch())) {
            const auto targetDatabase = st.getText(2, 256);
            if (targetDatabase && targetDatabase == database.getText(1, 256))
                same = targetDatabase;
        }
    }
    firstInteger(source, sql::kMySqlUnlock, name);
    return same;
}

// What source and target both are when they are one database however they are named (one
// SQLite file by device and inode; one database of one server), else nullopt. A copy onto
// itself would wait for its own locks, or empty the tables before reading them.
std::optional<std::string> oneDatabase(const Side& source, const Side& target) {
    if (source.kind != target.kind)
        return std::nullopt;
    switch (source.kind) {
    case DbmsKind::SQLite:
        if (const std::string file = sqliteFile(source.connection);
            sameFile(file, sqliteFile(target.connection)))
            return "файл " + file;
        return std::nullopt;
    case DbmsKind::PostgreSql:
        if (samePostgreSqlDatabase(source.connection, target.connection))
            return "база " + source.connection.currentCatalog() + " сервера PostgreSQL";
        return std::nullopt;
    case DbmsKind::MySql:
        if (const auto database = sameMySqlDatabase(source.connection, target.connection))
            return "база " + *database + " сервера MariaDB";
        return std::nullopt;
    default:
        return std::nullopt;
    }
}

} // namespace

CopyReport copyArchive(odbc::Connection& source, odbc::Connection& target,
                       const CopyOptions& options, const Progress& progress) {
    const auto sourceKind = kindOf(source);
    const auto targetKind = kindOf(target);
    if (!sourceKind || !targetKind) {
        CopyReport report;
        report.error = std::string(!sourceKind ? "источник" : "получатель") +
                       ": не удалось определить тип базы данных";
        return report;
    }
    if (const auto same = oneDatabase({source, *sourceKind}, {target, *targetKind})) {
        CopyReport report;
        report.error = "источник и получатель - одна база данных (" + *same + ")";
        return report;
    }
    return Copy(source, *sourceKind, target, *targetKind, options, progress).run();
}

std::optional<TableChecksum> checksumTable(odbc::Connection& connection, std::string_view table) {
    const auto kind = kindOf(connection);
    if (!kind)
        return std::nullopt;
    const Side side{connection, *kind};
    const std::vector<Column> columns = sortedByName(columnsOf(connection, table));
    if (columns.empty())
        return std::nullopt;
    RowReader reader(side, table, columns);
    Digest digest;
    startDigest(digest, table, columns);
    TableChecksum result;
    std::vector<Value> row;
    std::string canonical;
    while (reader.next(row, canonical)) {
        digest.add(canonical);
        ++result.rows;
    }
    if (!reader.ok())
        return std::nullopt;
    result.checksum = digest.finish();
    return result;
}

} // namespace orv::gainbook::copy
