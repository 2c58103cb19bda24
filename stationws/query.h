// The station service's query: the parameters of a GET URL or the lines of a POST body read
// into what the inventory reader selects, how the answer is written and what an empty answer
// is. Reading is strict: an unknown or repeated parameter, a value out of its range or a code
// with characters other than letters, digits and the wildcards is refused with a message for
// the client, never guessed.
#pragma once

#include "stationxml/selection.h"

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace orv::stationws {

enum class Format { Xml, Text };

struct Query {
    // One selection for GET; one per selection line of a POST body (answered together: an
    // epoch that several lines match is given once).
    std::vector<stationxml::Selection> selections;
    stationxml::Level level = stationxml::Level::Station;
    Format format = Format::Xml;
    int nodata = 204; // the status of an empty answer: 204 or 404
};

struct QueryResult {
    std::optional<Query> query; // set when the request can be answered
    std::string error;          // why not, for the client
};

// The most items a code list takes, and the most selection lines of a POST body.
inline constexpr std::size_t kMaxListItems = 500;
inline constexpr std::size_t kMaxPostLines = 1000;

using Parameters = std::vector<std::pair<std::string, std::string>>;

// GET: the decoded parameters in the order of the URL.
QueryResult parseQuery(const Parameters& parameters);
// POST: "key=value" lines, then selection lines "NET STA LOC CHA START END" (blank-separated;
// "*" for an open time; "--" for the empty location).
QueryResult parsePostBody(std::string_view body);

// A time as the service takes it: "YYYY-MM-DD", or "YYYY-MM-DDThh:mm:ss" with an optional
// fraction of at most 6 digits and an optional "Z"; UTC, years 1 to 9999. The whole second,
// and the fraction in microseconds when asked for.
std::optional<odbc::Timestamp> parseTime(std::string_view text, int* microseconds = nullptr);
// The second after t (t itself in year 9999's last second).
odbc::Timestamp nextSecond(const odbc::Timestamp& t);

} // namespace orv::stationws
