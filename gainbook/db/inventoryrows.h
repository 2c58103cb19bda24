// The rows of SITE, SITECHAN and CALIBRATION that the StationXML export reads, as plain
// values. CALIBRATION rows are read through a cursor, one at a time, so that a whole
// archive is never held in memory.
#pragma once

#include "odbc/odbc.h"

#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace orv::gainbook {

struct SiteRow {
    std::string station;
    std::optional<double> latitude, longitude, elevation;
    std::string englishName, description; // UTF-8 (Windows-1251 texts converted)
    std::optional<odbc::Timestamp> on, off;
};

struct SiteChanRow {
    std::string station, channel, location; // location "" for the empty location
    std::optional<double> depth, latitude, longitude, sampleRate;
    std::string description;
    std::string calibFile;          // the response file's name, as stored
    std::optional<long long> group; // NGROUP
};

struct CalibrationRow {
    std::string network, station, location, channel; // location "" for the empty location
    odbc::Timestamp start;
    std::optional<odbc::Timestamp> end;
    std::optional<double> sens, freq;
    std::optional<long long> sensUnit, freqUnit;
    std::string sac, fap; // read only when asked for
    // ID_FREQ's FREQ_UNITS of freqUnit, trimmed; read only with EpochsWithTextsAndUnits,
    // nothing where ID_FREQ has no row of the code.
    std::optional<std::string> freqUnitName;
};

// The stored forms of the empty location: "??" (how CALIBRATION stores no location), ""
// or blanks (SITECHAN's LCODE), NULL. The rows below carry it as "".
bool isEmptyLocation(std::string_view stored);

// One selection's conditions on CALIBRATION rows. A code item may hold the wildcards '*'
// and '?'; an empty list takes every code; a location item "" takes the empty location in
// every stored form.
struct RowClause {
    std::vector<std::string> networks, stations, locations, channels;
    // Rows whose interval overlaps [start, end] (ENDDATE >= start: an interval that ends
    // exactly at start is taken).
    std::optional<odbc::Timestamp> start, end;
    // Rows that start before / after, end before / after the time (strictly; an open
    // interval never ends before anything).
    std::optional<odbc::Timestamp> startBefore, startAfter, endBefore, endAfter;
};

// Which rows the statements read: those that match any clause (every row without one). The
// SQL match may take more rows than the clauses would (LIKE ignores case on some servers;
// a filter that would need more than kMaxFilterParameters parameters is not put into SQL
// at all): callers compare the codes and times again.
struct CalibrationFilter {
    std::vector<RowClause> clauses;
    bool exactCodes = false; // '*' and '?' are no wildcards
};
inline constexpr std::size_t kMaxFilterParameters = 1000;

// A code pattern with '*' and '?' as a LIKE pattern with '!' as the escape character.
// With exact, '*' and '?' stand for themselves.
std::string likePattern(std::string_view codePattern, bool exact = false);

// The SITE rows of the filter's stations, by station code; nullopt with the driver's
// message when the read fails (a failed fetch included).
std::optional<std::vector<SiteRow>>
readSites(odbc::Connection& connection, const CalibrationFilter& filter, std::string& diagnostic);
// The SITECHAN rows of the filter's stations and channels, by station and channel; an
// absent table reads as no rows. Locations are not matched here (LCODE may be NULL or
// missing for the empty location).
std::optional<std::vector<SiteChanRow>> readSiteChans(odbc::Connection& connection,
                                                      const CalibrationFilter& filter,
                                                      std::string& diagnostic);
// The filter's stations that have at least one CALIBRATION row, under any network.
std::optional<std::set<std::string>> stationsWithResponses(odbc::Connection& connection,
                                                           const CalibrationFilter& filter,
                                                           std::string& diagnostic);
// The filter's channels (by station and channel code) that have CALIBRATION rows under any
// network, as location and channel by station; the filter's networks, locations and times
// are not looked at.
std::optional<std::map<std::string, std::set<std::pair<std::string, std::string>>>>
channelsWithResponses(odbc::Connection& connection, const CalibrationFilter& filter,
                      std::string& diagnostic);
// A network under which a station has CALIBRATION rows, with its first start there.
struct StationNetwork {
    std::string network, station;
    odbc::Timestamp firstStart;
};
// The networks and stations of the filter's codes (its locations, channels and times not
// looked at) that have CALIBRATION rows, in network and station order as the channel starts
// are read.
std::optional<std::vector<StationNetwork>> stationNetworks(odbc::Connection& connection,
                                                           const CalibrationFilter& filter,
                                                           std::string& diagnostic);
// ID_SENS -> SENS_UNITS and ID_FREQ -> FREQ_UNITS; empty when the table is absent, nullopt
// with the driver's message when the read fails.
std::optional<std::map<long long, std::string>> readSensUnits(odbc::Connection& connection,
                                                              std::string& diagnostic);
std::optional<std::map<long long, std::string>> readFreqUnits(odbc::Connection& connection,
                                                              std::string& diagnostic);

// What a CalibrationCursor reads of each row.
enum class CalibrationColumns {
    Epochs,          // every epoch, without SAC and FAP
    EpochsWithTexts, // every epoch with SAC and FAP
    // every epoch with SAC, FAP and the name of its frequency unit: one statement where the
    // units' table would be read apart
    EpochsWithTextsAndUnits,
    ChannelStarts, // one row per channel and stored location: its first start, whatever
                   // the filter's times; nothing else
};

// CALIBRATION rows in network, station, location, channel and start order.
class CalibrationCursor {
public:
    CalibrationCursor(odbc::Connection& connection, const CalibrationFilter& filter,
                      CalibrationColumns columns);
    // False with diagnostic() set when the statement or a fetch failed.
    bool ok() const { return ok_; }
    const std::string& diagnostic() const { return diagnostic_; }
    // The next row; false at the end or on a failure (then ok() is false).
    bool next(CalibrationRow& row);

private:
    std::optional<odbc::PreparedStatement> statement_;
    CalibrationColumns columns_;
    bool ok_ = false;
    std::string diagnostic_;
};

// A station and one of its channels as a StationXML document describes them.
struct StationRows {
    std::string station;
    double latitude = 0, longitude = 0, elevation = 0;
    std::string siteName, description;
    std::optional<odbc::Timestamp> on, off;
    std::string channel, location;
    double channelLatitude = 0, channelLongitude = 0, depth = 0;
    std::optional<double> sampleRate;
    std::string sensor;
};

// Makes the SITE row of the station and the SITECHAN row of the channel where they do not
// exist yet; never changes an existing row. Lines for the user in notes: what was made, and
// an existing row whose values differ. False with the driver's message in diagnostic when a
// statement fails (or a table is missing).
bool ensureStationRows(odbc::Connection& connection, const StationRows& rows,
                       std::vector<std::string>& notes, std::string& diagnostic);

} // namespace orv::gainbook
