#include "db/copywriter.h"
#include "db/copyreader.h"

#include "text/text.h"

#include <algorithm>
#include <charconv>
#include <cstring>

namespace orv::gainbook::copy {

BatchWriter::BatchWriter(const Side& side, std::string_view table,
                         const std::vector<Column>& columns,
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
    if (maxRows > 1 && odbc::isSuccess(SQLSetStmtAttr(st_.handle(), SQL_ATTR_PARAMSET_SIZE,
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

bool BatchWriter::add(std::vector<Value>&& row) {
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

bool BatchWriter::flush() {
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

std::string BatchWriter::failedRows(const std::vector<SQLUSMALLINT>& status, std::size_t errors,
                                    const std::string& diagnostic) const {
    const std::size_t n = rows_.size();
    std::optional<std::size_t> row;
    if (n == 1)
        row = 0;
    else if (errors > 0 && errors < n)
        row = static_cast<std::size_t>(std::find(status.begin(), status.end(), SQL_PARAM_ERROR) -
                                       status.begin());
    else if (side_.kind == DbmsKind::MySql)
        row = mySqlRow(diagnostic);
    if (row && *row < n)
        return describeKey(table_, columns_, rows_[*row]);
    return "одна из строк от " + describeKey(table_, columns_, rows_.front()) + " до " +
           describeKey(table_, columns_, rows_.back());
}

std::optional<std::size_t> BatchWriter::mySqlRow(std::string_view diagnostic) {
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

std::optional<std::string> BatchWriter::refusal(std::size_t c, const Value& value) const {
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

std::optional<std::string> BatchWriter::tooLong(std::size_t c, const std::string& value) const {
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

bool BatchWriter::bindColumn(std::size_t c, std::vector<char>& buffer,
                             std::vector<SQLLEN>& indicator) {
    const std::size_t n = rows_.size();
    const auto column = static_cast<SQLUSMALLINT>(c + 1);
    const ValueKind kind = columns_[c].kind;
    // Dates travel as text on SQLite, in the form its literals take.
    if (kind == ValueKind::Text || (kind == ValueKind::Date && side_.kind == DbmsKind::SQLite)) {
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
        return odbc::isSuccess(SQLBindParameter(st_.handle(), column, SQL_PARAM_INPUT, SQL_C_CHAR,
                                                sqlType, kind == ValueKind::Date ? 19 : width - 1,
                                                0, buffer.data(), static_cast<SQLLEN>(width),
                                                indicator.data()));
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
    return odbc::isSuccess(SQLBindParameter(st_.handle(), column, SQL_PARAM_INPUT, cType, sqlType,
                                            kind == ValueKind::Date ? 19 : 0, 0, buffer.data(),
                                            static_cast<SQLLEN>(size), indicator.data()));
}

} // namespace orv::gainbook::copy
