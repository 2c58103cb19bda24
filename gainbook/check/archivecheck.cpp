#include "check/archivecheck.h"

#include <algorithm>
#include <map>
#include <set>
#include <tuple>

namespace orv::gainbook::check {

namespace {

// A code against a pattern with '*' and '?'.
bool matches(std::string_view pattern, std::string_view code) {
    if (pattern.empty())
        return code.empty();
    if (pattern.front() == '*') {
        for (std::size_t i = 0; i <= code.size(); ++i)
            if (matches(pattern.substr(1), code.substr(i)))
                return true;
        return false;
    }
    if (code.empty() || (pattern.front() != '?' && pattern.front() != code.front()))
        return false;
    return matches(pattern.substr(1), code.substr(1));
}

bool locationSelected(const Selection& s, const std::string& location) {
    if (s.locations.empty())
        return true;
    return std::any_of(s.locations.begin(), s.locations.end(), [&](const std::string& p) {
        return isEmptyLocation(p) ? location.empty() : matches(p, location);
    });
}

CalibrationFilter filterOf(const Selection& s) {
    CalibrationFilter filter;
    filter.clauses.push_back(
        {s.networks, s.stations, s.locations, s.channels, s.start, s.end, {}, {}, {}, {}});
    return filter;
}

using Channel = std::tuple<std::string, std::string, std::string>; // station, location, channel

// What the station checks need of CALIBRATION: the channels that have a response at any
// time, and the stations that have one in the selected networks.
struct ResponseIndex {
    std::set<Channel> channels;
    std::set<std::string> stations;
};

bool readIndex(odbc::Connection& connection, const Selection& selection, ResponseIndex& index,
               std::string& diagnostic) {
    Selection anyNetwork = selection;
    anyNetwork.networks.clear();
    CalibrationCursor cursor(connection, filterOf(anyNetwork), CalibrationColumns::ChannelStarts);
    CalibrationRow row;
    while (cursor.next(row))
        index.channels.emplace(row.station, row.location, row.channel);
    if (!cursor.ok()) {
        diagnostic = cursor.diagnostic();
        return false;
    }
    if (selection.networks.empty())
        return true;
    CalibrationCursor inNetworks(connection, filterOf(selection),
                                 CalibrationColumns::ChannelStarts);
    while (inNetworks.next(row))
        index.stations.insert(row.station);
    diagnostic = inNetworks.diagnostic();
    return inNetworks.ok();
}

bool checkResponses(odbc::Connection& connection, const Selection& selection,
                    const std::map<std::string, SiteRow>& sites,
                    const std::set<Channel>& siteChannels, const Units& units, const Sink& sink,
                    Counts& counts, std::string& diagnostic) {
    CalibrationCursor cursor(connection, filterOf(selection), CalibrationColumns::EpochsWithTexts);
    KeyCheck key(units, sink);
    CalibrationRow row, previous;
    bool first = true;
    while (cursor.next(row)) {
        if (!locationSelected(selection, row.location))
            continue;
        if (first || row.network != previous.network || row.station != previous.station ||
            row.location != previous.location || row.channel != previous.channel) {
            const auto site = sites.find(row.station);
            key.begin(row, site == sites.end() ? nullptr : &site->second,
                      siteChannels.count({row.station, row.location, row.channel}) != 0);
            ++counts.keys;
            first = false;
        }
        key.add(row);
        ++counts.responses;
        std::swap(previous, row);
    }
    diagnostic = cursor.diagnostic();
    return cursor.ok();
}

} // namespace

bool checkArchive(odbc::Connection& connection, const Selection& selection,
                  const std::optional<std::filesystem::path>& responseDir, const Sink& sink,
                  Counts& counts, std::string& diagnostic) {
    counts = {};
    Units units;
    const auto sens = readSensUnits(connection, diagnostic);
    const auto freq = sens ? readFreqUnits(connection, diagnostic) : std::nullopt;
    if (!sens || !freq)
        return false;
    units.sens = *sens;
    units.freq = *freq;
    const CalibrationFilter filter = filterOf(selection);
    const auto siteRows = readSites(connection, filter, diagnostic);
    if (!siteRows)
        return false;
    auto chanRows = readSiteChans(connection, filter, diagnostic);
    if (!chanRows)
        return false;
    std::erase_if(*chanRows,
                  [&](const SiteChanRow& c) { return !locationSelected(selection, c.location); });
    ResponseIndex index;
    if (connection.tableExists("CALIBRATION") &&
        !readIndex(connection, selection, index, diagnostic))
        return false;
    const auto stationSelected = [&](const std::string& station) {
        return selection.networks.empty() || index.stations.count(station) != 0;
    };
    std::map<std::string, SiteRow> sites;
    std::set<Channel> siteChannels;
    for (const SiteRow& s : *siteRows)
        sites.emplace(s.station, s);
    for (const SiteChanRow& c : *chanRows)
        siteChannels.emplace(c.station, c.location, c.channel);

    if (connection.tableExists("CALIBRATION") &&
        !checkResponses(connection, selection, sites, siteChannels, units, sink, counts,
                        diagnostic))
        return false;

    const auto hasResponse = [&](const std::string& station) {
        return [&index, station](const std::string& location, const std::string& channel) {
            return index.channels.count({station, location, channel}) != 0;
        };
    };
    for (const SiteRow& s : *siteRows)
        if (stationSelected(s.station)) {
            checkSite(s, sink);
            ++counts.stations;
        }
    // SITECHAN comes ordered by station: one station's channels at a time.
    for (std::size_t from = 0; from < chanRows->size();) {
        std::size_t to = from;
        const std::string& station = (*chanRows)[from].station;
        while (to < chanRows->size() && (*chanRows)[to].station == station)
            ++to;
        if (stationSelected(station)) {
            const auto site = sites.find(station);
            checkStationChannels(site == sites.end() ? nullptr : &site->second,
                                 std::span(chanRows->data() + from, to - from),
                                 hasResponse(station), responseDir, sink);
            counts.channels += to - from;
        }
        from = to;
    }
    return true;
}

} // namespace orv::gainbook::check
