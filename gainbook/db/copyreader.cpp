#include "db/copyreader.h"

#include "text/text.h"

#include <charconv>
#include <cmath>

namespace orv::gainbook::copy {

namespace {

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
            const bool scaled = !v.text.empty() && v.text[0] == kScaledMark;
            const char* end = v.text.data() + v.text.size();
            const auto [p, ec] = std::from_chars(v.text.data() + scaled, end, v.number);
            if (scaled)
                v.number = std::ldexp(v.number, kScaledExponent);
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

} // namespace

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

namespace {

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

} // namespace

RowReader::RowReader(const Side& side, std::string_view table, const std::vector<Column>& columns)
    : side_(side), table_(table), st_(side.connection), columns_(columns) {
    ok_ = st_.valid() && !odbc::isError(st_.execDirect(selectStatement(side, table, columns)));
    if (!ok_)
        error_ = st_.valid() ? st_.diagnostic() : side.connection.diagnostic();
}

bool RowReader::next(std::vector<Value>& values, std::string& canonical) {
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

bool RowReader::failed(std::string why) {
    ok_ = false;
    error_ = std::move(why);
    return false;
}

std::optional<OddValue> RowReader::checkedValue(const std::string& check) const {
    OddValue odd;
    const char* end = check.data() + check.size();
    const auto [blank, ec] = std::from_chars(check.data(), end, odd.column);
    if (ec != std::errc() || odd.column >= columns_.size() || blank == end)
        return std::nullopt;
    odd.what = storedAs(columns_[odd.column], std::string_view(blank + 1, end));
    return odd;
}

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

} // namespace orv::gainbook::copy
