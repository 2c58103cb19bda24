// The checksum a copy verifies its tables by.
//
// The checksum of a table is the SHA-256 of its rows in key order. Key order is the byte
// order of the UTF-8 codes (on every back end, whatever its collation), then the numbers
// and dates in their order, NULLs first. Each row is the concatenation of its values, in
// the order of the source's columns; each value is serialised as
//   NULL       one byte 0x00
//   text       0x01, its length in bytes (8 bytes, little-endian), its UTF-8 bytes
//   integer    0x02, the value as 8 bytes, little-endian two's complement
//   double     0x03, the IEEE 754 bits as 8 bytes, little-endian
//   date       0x04, "YYYY-MM-DD HH:MM:SS" (19 bytes; fractions of a second dropped)
// and the hash starts with the table's name and its column names, each ended by a 0x00.
#pragma once

#include "odbc/odbc.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace orv::gainbook::copy {

enum class ValueKind { Text, Integer, Double, Date };

struct Value {
    bool null = true;
    std::string text;
    std::int64_t integer = 0;
    double number = 0;
    odbc::Timestamp date;
};

// Appends the canonical form of one value (see above) to out.
void appendCanonical(std::string& out, ValueKind kind, const Value& value);

// SHA-256, fed piece by piece.
class Digest {
public:
    Digest();
    ~Digest();
    Digest(const Digest&) = delete;
    Digest& operator=(const Digest&) = delete;
    void add(std::string_view bytes);
    // The hash in lower-case hexadecimal; the digest cannot be fed afterwards.
    std::string finish();

private:
    void* context_;
};

// The checksum and row count of one table of a database, as a copy computes them (the
// table's own columns); nullopt when it cannot be read.
struct TableChecksum {
    std::int64_t rows = 0;
    std::string checksum;
};
std::optional<TableChecksum> checksumTable(odbc::Connection& connection, std::string_view table);

} // namespace orv::gainbook::copy
