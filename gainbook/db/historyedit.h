// Changing the stored history of a key (network, station, channel, location): re-dating
// one interval, deleting one record or emptying one of its texts, and reading the lists of
// codes and intervals the date editor offers. Every change is one statement in autocommit
// mode; its result tells a changed row from a statement that matched none.
#pragma once

#include "odbc/odbc.h"

#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace orv::gainbook {

struct StoredKey {
    std::string station;
    std::string network;
    std::string channel;
    std::string location;
};

enum class EditStatus {
    Changed, // the row holds what was asked
    NoRow,   // no stored row matched: nothing changed
    Failed,  // the statement failed (diagnostic): nothing changed
};

struct EditResult {
    EditStatus status = EditStatus::Failed;
    std::string diagnostic;
};

// Gives the interval of the key that starts at oldStart and ends at oldEnd (none: an open
// interval) the new start and end (none: open). No other interval is looked at.
EditResult redateInterval(orv::odbc::Connection& connection, const StoredKey& key,
                          const orv::odbc::Timestamp& oldStart,
                          const std::optional<orv::odbc::Timestamp>& oldEnd,
                          const orv::odbc::Timestamp& newStart,
                          const std::optional<orv::odbc::Timestamp>& newEnd);

enum class DeleteChoice { WholeRecord, EmptySac, EmptyFap };

// Deletes the key's record that starts at start, or empties its SAC or FAP text (the row
// stays, with the other text, SENS and FREQ). Neighbouring intervals keep their dates.
EditResult deleteStored(orv::odbc::Connection& connection, const StoredKey& key,
                        const orv::odbc::Timestamp& start, DeleteChoice choice);

// What a list query gave.
struct ListRead {
    bool allocated = false; // false: no statement, nothing was run
    bool executed = false;  // false: the query failed (diagnostic)
    std::vector<std::string> values;
    std::string diagnostic;
};

// The codes of the first column (at most the longest code each), the codes given as the
// query's parameters; without parameters the query is executed directly.
ListRead readCodes(orv::odbc::Connection& connection, const char* sql,
                   std::initializer_list<std::string_view> codes);
// Start and end of every row as "start / end", or "start / " + openEnd for an open one.
ListRead readIntervals(orv::odbc::Connection& connection, const char* sql,
                       std::initializer_list<std::string_view> codes, std::string_view openEnd);

} // namespace orv::gainbook
