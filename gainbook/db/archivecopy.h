// Moving an archive from one database to another (the embedded SQLite file, PostgreSQL,
// MariaDB), verified: SITE, SITECHAN, ID_SENS, ID_FREQ and CALIBRATION, or some of them.
//
// The source is read inside one read transaction, streaming, in key order; the target is
// written inside one transaction for all tables (on MySQL, where table changes commit at
// once, the tables it lacks are made first and dropped again when the copy fails), with
// one prepared INSERT per table executed on arrays of rows where the driver takes them.
// Before the commit every table is read back from the target and compared with the source
// by its row count and its checksum; any difference rolls the copy back.
//
// The checksum of a table: copychecksum.h.
//
// One difference is allowed: a column the target numbers itself (SITECHAN.NINDEX on
// MySQL, AUTO_INCREMENT) cannot hold NULL; where the source has none, the target's number
// is taken, the rows are compared without it, and the report counts them.
#pragma once

#include "db/copychecksum.h"
#include "odbc/odbc.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace orv::gainbook::copy {

// Every table a copy can move, in the order they are written (a table before those that
// refer to it).
inline constexpr std::string_view kTables[] = {"SITE", "SITECHAN", "ID_SENS", "ID_FREQ",
                                               "CALIBRATION"};

struct CopyOptions {
    // Tables to copy; empty: every table of kTables the source has.
    std::vector<std::string> tables;
    // Replace the rows of target tables that hold some (else such a target is refused).
    bool replace = false;
    // Rows per array of parameters at most (1: one execution per row).
    std::size_t batchRows = 500;
};

struct TableReport {
    std::string table;
    std::int64_t rows = 0;   // read from the source
    std::int64_t copied = 0; // found in the target after writing
    std::string sourceChecksum;
    std::string targetChecksum;
    bool created = false; // the target table was made by the copy
    // Rows where the target numbered a column the source left without a number
    // (SITECHAN.NINDEX on MySQL numbers itself); their checksums then differ.
    std::int64_t numberedRows = 0;
};

struct CopyReport {
    bool ok = false;
    std::string error; // why not, naming the table and where it applies the row
    std::vector<TableReport> tables;
    // Largest array of rows the target took in one execution (1: row by row).
    std::size_t arrayRows = 0;
};

// Called after each array of rows written: table, rows written, rows in all.
using Progress = std::function<void(std::string_view, std::int64_t, std::int64_t)>;

// Copies from source to target (both open). The connections' autocommit is on again
// afterwards; nothing of the target is changed unless the report says ok.
CopyReport copyArchive(odbc::Connection& source, odbc::Connection& target,
                       const CopyOptions& options, const Progress& progress = {});

} // namespace orv::gainbook::copy
