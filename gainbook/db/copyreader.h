// The row reader of a copy: a table read in key order, each value as it is stored, each row
// in its canonical form (copychecksum.h) for the checksum.
#pragma once

#include "db/archivecopy.h"
#include "db/copycolumns.h"
#include "odbc/odbc.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace orv::gainbook::copy {

std::string describeValue(ValueKind kind, const Value& v);

// "STA='KIV', CHAN='BHZ', ..." of a row.
std::string describeKey(std::string_view table, const std::vector<Column>& columns,
                        const std::vector<Value>& row);

// A value of the row that cannot be copied as it is: its column, and what it holds.
struct OddValue {
    std::size_t column = 0;
    std::string what;
};

// A table read in key order, row by row (after the column that finds values no other back
// end would take as they are: such a value ends the reading, named with its row's key and
// its column).
class RowReader {
public:
    RowReader(const Side& side, std::string_view table, const std::vector<Column>& columns);
    bool ok() const { return ok_; }
    const std::string& error() const { return error_; }

    // The next row into values and its canonical form into canonical; false at the end or
    // on a failure (then error() says which).
    bool next(std::vector<Value>& values, std::string& canonical);

private:
    bool failed(std::string why);

    // The value the check column names ("3 text 'abc'": position, storage class, literal).
    std::optional<OddValue> checkedValue(const std::string& check) const;

    const Side& side_;
    std::string table_;
    odbc::Statement st_;
    const std::vector<Column>& columns_;
    bool ok_ = false;
    std::string error_;
};

// The start of a table's checksum: its name and its column names, each ended by a 0x00.
void startDigest(Digest& digest, std::string_view table, const std::vector<Column>& columns);

std::optional<std::int64_t> countRows(odbc::Connection& connection, std::string_view table,
                                      std::string& error);

} // namespace orv::gainbook::copy
