// What a StationXML export or query picks from the database: the level of detail, the codes
// (with the wildcards '*' and '?'), the time window of the channel epochs and the place of
// the stations.
#pragma once

#include "odbc/odbc.h"

#include <optional>
#include <string>
#include <vector>

namespace orv::stationxml {

enum class Level { Network, Station, Channel, Response };

struct Selection {
    Level level = Level::Response;
    // Code patterns; an empty list selects every code. An item may hold the wildcards '*'
    // and '?' (matched with LIKE ... ESCAPE and bound parameters, never spliced into SQL
    // text); a location item "" (or blanks) selects the empty location, which CALIBRATION
    // stores as "??" and SITECHAN as an empty LCODE.
    std::vector<std::string> networks, stations, locations, channels;
    // The code items taken literally, '*' and '?' included (one key; the location "??" is
    // the empty location).
    bool exactCodes = false;
    // Times, applied to the channel epochs at channel and response level and to the
    // stations' own dates at station and network level. start, end: the epochs that overlap
    // [start, end] (either side open when unset; an epoch ending exactly at start is
    // taken). startBefore, startAfter, endBefore, endAfter: those that start before / after
    // and end before / after the time, strictly. An open epoch never ends before anything.
    std::optional<orv::odbc::Timestamp> start, end;
    std::optional<orv::odbc::Timestamp> startBefore, startAfter, endBefore, endAfter;
    // Station coordinates: a box, and/or a circle of arc degrees around (latitude, longitude).
    std::optional<double> minLatitude, maxLatitude, minLongitude, maxLongitude;
    std::optional<double> latitude, longitude, minRadius, maxRadius;
};

} // namespace orv::stationxml
