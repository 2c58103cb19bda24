// The batch writer of a copy: the rows of a table written to the target by one prepared
// INSERT, checked against what the target's columns take.
#pragma once

#include "db/copychecksum.h"
#include "db/copycolumns.h"
#include "odbc/odbc.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace orv::gainbook::copy {

// One prepared INSERT of a table, executed on arrays of rows where the driver takes them
// (bound column by column, each array as wide as its longest value in the batch).
class BatchWriter {
public:
    BatchWriter(const Side& side, std::string_view table, const std::vector<Column>& columns,
                const std::vector<Column>& targetColumns, std::size_t maxRows);

    bool prepared() const { return prepared_; }
    const std::string& error() const { return error_; }
    std::size_t maxRows() const { return maxRows_; }
    std::size_t largestArray() const { return largest_; }

    // Takes one row; false (error() says why, naming the row) when it or the batch it
    // completes cannot be written.
    bool add(std::vector<Value>&& row);

    // Writes the rows taken; false (error() says why) when the target refuses them.
    bool flush();
    std::int64_t written() const { return written_; }

private:
    // The key of the row a failed execution of the array names: the only row; the first
    // the driver marks failed where it marks some rows and not others; the row of MySQL's
    // "... at row N" (counted in the array). Else the array's first and last keys.
    std::string failedRows(const std::vector<SQLUSMALLINT>& status, std::size_t errors,
                           const std::string& diagnostic) const;

    // MySQL's row of "... at row 7" at the end of its message, from 0; nullopt without one.
    static std::optional<std::size_t> mySqlRow(std::string_view diagnostic);

    // Why the target's column cannot take a value as it is; nullopt when it can. A refusal
    // of the server's own would name no row (PostgreSQL fails a whole array): PostgreSQL's
    // texts are UTF-8 and its INTEGER and SMALLINT have 32 and 16 bits.
    std::optional<std::string> refusal(std::size_t c, const Value& value) const;

    // Why the target's column would cut the text; nullopt when it holds it whole. SQLite
    // keeps texts of any length; a long text column elsewhere than on MySQL has no limit.
    std::optional<std::string> tooLong(std::size_t c, const std::string& value) const;

    bool bindColumn(std::size_t c, std::vector<char>& buffer, std::vector<SQLLEN>& indicator);

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

} // namespace orv::gainbook::copy
