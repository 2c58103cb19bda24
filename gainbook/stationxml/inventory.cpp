#include "stationxml/inventory.h"

#include "inventoryrows.h"
#include "stationxml/stored.h"
#include "text/text.h"

#include <algorithm>
#include <map>
#include <optional>
#include <set>
#include <tuple>

namespace orv::stationxml {

namespace db = orv::gainbook;

namespace {

bool codeMatches(std::string_view pattern, std::string_view code) {
    if (pattern.empty())
        return code.empty();
    if (pattern.front() == '*') {
        for (std::size_t i = 0; i <= code.size(); ++i)
            if (codeMatches(pattern.substr(1), code.substr(i)))
                return true;
        return false;
    }
    if (code.empty())
        return false;
    if (pattern.front() != '?' && pattern.front() != code.front())
        return false;
    return codeMatches(pattern.substr(1), code.substr(1));
}

bool anyMatches(const std::vector<std::string>& patterns, std::string_view code,
                bool exact = false) {
    if (patterns.empty())
        return true;
    return std::any_of(patterns.begin(), patterns.end(), [&](const std::string& p) {
        return exact ? p == code : codeMatches(p, code);
    });
}

// Azimuth and dip from the component letter.
void orientation(std::string_view channel, double& azimuth, double& dip) {
    azimuth = 0;
    dip = 0;
    const char c = channel.empty() ? ' ' : channel.back();
    if (c == 'Z' || c == 'z')
        dip = -90;
    else if (c == 'E' || c == 'e')
        azimuth = 90;
}

struct Reader {
    Reader(odbc::Connection& c, const Selection& s, InventoryVisitor& v, const Warn& w,
           const ReadOptions& o)
        : connection(c), selection(s), visitor(v), warn(w), options(o) {}

    odbc::Connection& connection;
    const Selection& selection;
    InventoryVisitor& visitor;
    const Warn& warn;
    const ReadOptions& options;
    ReadSummary summary;

    std::map<std::string, db::SiteRow> sites;
    std::map<std::string, std::vector<db::SiteChanRow>> siteChans; // by station
    std::map<long long, std::string> freqUnits;
    std::vector<std::string> orphans; // SITE stations without a response, in code order
    std::set<std::string> warnedMissing, warnedCodes;

    std::optional<std::string> openNetwork;

    void checkCode(const char* what, const std::string& code, bool ok) {
        if (!ok && warnedCodes.insert(std::string(what) + ":" + code).second)
            warn(orv::text::format("%s code \"%s\" is not an FDSN code", what, code.c_str()));
    }
    void checkCodes(const std::string& net, const std::string& sta, const std::string& loc,
                    const std::string& chan) {
        auto alnum = [](const std::string& s) {
            return std::all_of(s.begin(), s.end(), [](unsigned char c) {
                return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9');
            });
        };
        checkCode("network", net, !net.empty() && net.size() <= 2 && alnum(net));
        checkCode("station", sta, !sta.empty() && sta.size() <= 5 && alnum(sta));
        checkCode("location", loc, loc.size() <= 2 && alnum(loc));
        checkCode("channel", chan, chan.size() == 3 && alnum(chan));
    }

    bool includeLevel(Level l) const { return int(selection.level) >= int(l); }

    std::map<std::string, odbc::Timestamp> networkStarts;

    // The earlier of a station's opening and its first response.
    std::optional<odbc::Timestamp> stationStart(const db::SiteRow& site,
                                                std::optional<odbc::Timestamp> first) const {
        if (site.on && (!first || *site.on < *first))
            return site.on;
        return first;
    }
    void noteNetworkStart(const std::string& network, std::optional<odbc::Timestamp> start) {
        if (!start)
            return;
        const auto found = networkStarts.find(network);
        if (found == networkStarts.end() || *start < found->second)
            networkStarts[network] = *start;
    }

    void beginNetwork(const std::string& code) {
        if (openNetwork == code)
            return;
        endNetwork();
        NetworkInfo n;
        n.code = code;
        const auto start = networkStarts.find(code);
        n.start = start != networkStarts.end() ? start->second : odbc::Timestamp{};
        visitor.beginNetwork(n);
        ++summary.networks;
        openNetwork = code;
    }
    void endNetwork() {
        if (openNetwork)
            visitor.endNetwork();
        openNetwork.reset();
    }

    bool placeable(const db::SiteRow& site) {
        const double lat = site.latitude.value_or(0), lon = site.longitude.value_or(0);
        if (!(lat >= -90 && lat <= 90) || !(lon >= -180 && lon <= 180)) {
            warn(orv::text::format("station %s left out: latitude %g or longitude %g out of range",
                                   site.station.c_str(), lat, lon));
            summary.refusedSome = true;
            return false;
        }
        return true;
    }

    bool inPlace(const db::SiteRow& site) const {
        const double lat = site.latitude.value_or(0), lon = site.longitude.value_or(0);
        if (selection.minLatitude && lat < *selection.minLatitude)
            return false;
        if (selection.maxLatitude && lat > *selection.maxLatitude)
            return false;
        if (selection.minLongitude && lon < *selection.minLongitude)
            return false;
        if (selection.maxLongitude && lon > *selection.maxLongitude)
            return false;
        return true;
    }

    // One station's epochs, emitted in location, channel and start order.
    void station(const std::string& network, const db::SiteRow& site,
                 std::vector<ChannelEpoch> epochs,
                 std::set<std::pair<std::string, std::string>> seen) {
        if (!inPlace(site))
            return;
        // Channels of SITECHAN without a response: one epoch over the station's dates.
        const auto found = siteChans.find(site.station);
        StationInfo info;
        info.code = site.station;
        info.latitude = site.latitude.value_or(0);
        info.longitude = site.longitude.value_or(0);
        info.elevation = site.elevation.value_or(0);
        info.siteName = site.englishName.empty() ? site.station : site.englishName;
        info.description = site.description;
        std::optional<odbc::Timestamp> first;
        for (const ChannelEpoch& e : epochs)
            if (!first || e.start < *first)
                first = e.start;
        const std::optional<odbc::Timestamp> start = stationStart(site, first);
        info.start = start.value_or(odbc::Timestamp{});
        info.end = site.off;
        if (found != siteChans.end())
            for (const db::SiteChanRow& c : found->second) {
                if (seen.count({c.location, c.channel}) ||
                    !anyMatches(selection.channels, c.channel, selection.exactCodes) ||
                    !anyMatches(selection.locations, c.location, selection.exactCodes))
                    continue;
                seen.insert({c.location, c.channel});
                ChannelEpoch e;
                e.code = c.channel;
                e.location = c.location;
                e.start = info.start;
                e.end = info.end;
                e.response = std::nullopt;
                if (includeLevel(Level::Response))
                    e.response = Response{};
                epochs.push_back(std::move(e));
            }
        for (ChannelEpoch& e : epochs) {
            fillFromSiteChan(site, e);
            if (!(e.azimuth >= 0 && e.azimuth < 360) || !(e.latitude >= -90 && e.latitude <= 90) ||
                !(e.longitude >= -180 && e.longitude <= 180)) {
                warn(orv::text::format("station %s left out: channel %s has a value out of range",
                                       site.station.c_str(), e.code.c_str()));
                summary.refusedSome = true;
                return;
            }
            checkCodes(network, site.station, e.location, e.code);
        }
        std::sort(epochs.begin(), epochs.end(), [](const ChannelEpoch& a, const ChannelEpoch& b) {
            return std::tie(a.location, a.code, a.start) < std::tie(b.location, b.code, b.start);
        });
        beginNetwork(network);
        visitor.beginStation(info);
        ++summary.stations;
        if (includeLevel(Level::Channel))
            for (const ChannelEpoch& e : epochs) {
                visitor.channel(e);
                ++summary.channels;
            }
        visitor.endStation();
    }

    void fillFromSiteChan(const db::SiteRow& site, ChannelEpoch& e) {
        e.latitude = site.latitude.value_or(0);
        e.longitude = site.longitude.value_or(0);
        e.elevation = site.elevation.value_or(0);
        orientation(e.code, e.azimuth, e.dip);
        const auto found = siteChans.find(site.station);
        if (found == siteChans.end())
            return;
        for (const db::SiteChanRow& c : found->second)
            if (c.channel == e.code && c.location == e.location) {
                if (c.latitude)
                    e.latitude = *c.latitude;
                if (c.longitude)
                    e.longitude = *c.longitude;
                e.depth = c.depth.value_or(0);
                if (c.sampleRate && *c.sampleRate >= 0)
                    e.sampleRate = *c.sampleRate;
                e.sensorDescription = c.description;
                return;
            }
    }

    // The SITE stations without responses go under the default network; emits those whose
    // place in the order comes before (network, station).
    std::size_t nextOrphan = 0;
    void orphansBefore(const std::string& network, const std::string& stationCode) {
        while (nextOrphan < orphans.size() &&
               std::tie(options.defaultNetwork, orphans[nextOrphan]) <
                   std::tie(network, stationCode)) {
            const db::SiteRow& site = sites.at(orphans[nextOrphan]);
            warn(orv::text::format("station %s has no response: listed under network %s",
                                   site.station.c_str(), options.defaultNetwork.c_str()));
            if (placeable(site))
                station(options.defaultNetwork, site, {}, {});
            ++nextOrphan;
        }
    }

    ChannelEpoch epochOf(const db::CalibrationRow& row) {
        ChannelEpoch e;
        e.code = row.channel;
        e.location = row.location;
        e.start = row.start;
        e.end = row.end;
        if (!includeLevel(Level::Response))
            return e;
        StoredResponse s;
        s.sac = row.sac;
        s.fap = row.fap;
        s.sensUnit = row.sensUnit.value_or(0);
        s.freq = row.freq;
        if (row.freqUnit) {
            const auto unit = freqUnits.find(*row.freqUnit);
            s.freqUnitName = unit != freqUnits.end() ? unit->second : "Hz";
        }
        s.sens = row.sens;
        std::string why, mismatch;
        e.response = convertStored(s, why, mismatch);
        const std::string key = row.network + "." + row.station + "." + row.location + "." +
                                row.channel + " " + row.start.toSqlText();
        if (!e.response) {
            warn(key + ": no response exported: " + why);
            e.response = Response{};
        } else if (!mismatch.empty()) {
            warn(key + ": " + mismatch);
        }
        return e;
    }

    ReadSummary run() {
        // Only the rows the selection can match are read; the codes are compared again
        // here, as the SQL match may take more (LIKE ignores case on some servers).
        db::CalibrationFilter filter;
        filter.networks = selection.networks;
        filter.stations = selection.stations;
        filter.locations = selection.locations;
        filter.channels = selection.channels;
        filter.start = selection.start;
        filter.end = selection.end;
        filter.exactCodes = selection.exactCodes;
        std::string diagnostic;
        auto siteRows = db::readSites(connection, filter, diagnostic);
        if (!siteRows)
            throw std::runtime_error("SITE: " + diagnostic);
        for (db::SiteRow& s : *siteRows)
            sites.emplace(s.station, std::move(s));
        auto chanRows = db::readSiteChans(connection, filter, diagnostic);
        if (!chanRows)
            throw std::runtime_error("SITECHAN: " + diagnostic);
        for (db::SiteChanRow& c : *chanRows)
            siteChans[c.station].push_back(std::move(c));
        if (includeLevel(Level::Response))
            freqUnits = db::readFreqUnits(connection);
        // Stations without responses are listed only where no channel or location is asked
        // for: only then is it needed which stations have responses.
        const bool orphansWanted =
            anyMatches(selection.networks, options.defaultNetwork, selection.exactCodes) &&
            selection.locations.empty() && selection.channels.empty();
        bool readResponses = connection.tableExists("CALIBRATION");
        std::set<std::string> withResponses;
        if (readResponses && orphansWanted) {
            auto stations = db::stationsWithResponses(connection, filter, diagnostic);
            if (!stations)
                throw std::runtime_error("CALIBRATION: " + diagnostic);
            withResponses = std::move(*stations);
            readResponses = !withResponses.empty();
        }
        if (orphansWanted)
            for (const auto& [code, site] : sites)
                if (!withResponses.count(code) &&
                    anyMatches(selection.stations, code, selection.exactCodes))
                    orphans.push_back(code);

        // Network start dates come first: the element carries them before its stations.
        for (const std::string& code : orphans)
            noteNetworkStart(options.defaultNetwork, stationStart(sites.at(code), std::nullopt));
        // Without channels in the answer, a station needs of each channel only its first
        // start (and that it is there): few rows, read first, which give the network starts
        // too. With channels, the network starts are read before the epochs.
        const bool channelStartsOnly = !includeLevel(Level::Channel);
        std::vector<db::CalibrationRow> channelStarts;
        if (readResponses && channelStartsOnly) {
            db::CalibrationCursor starts(connection, filter, db::CalibrationColumns::ChannelStarts);
            db::CalibrationRow row;
            while (starts.next(row))
                channelStarts.push_back(row);
            if (!starts.ok())
                throw std::runtime_error("CALIBRATION: " + starts.diagnostic());
            for (const db::CalibrationRow& c : channelStarts) {
                const auto site = sites.find(c.station);
                noteNetworkStart(
                    c.network, site != sites.end() ? stationStart(site->second, c.start) : c.start);
            }
        } else if (readResponses) {
            const auto starts = db::firstStarts(connection, filter, diagnostic);
            if (!starts)
                throw std::runtime_error("CALIBRATION: " + diagnostic);
            for (const db::FirstStart& f : *starts) {
                const auto site = sites.find(f.station);
                noteNetworkStart(
                    f.network, site != sites.end() ? stationStart(site->second, f.start) : f.start);
            }
        }
        if (readResponses) {
            std::optional<db::CalibrationCursor> cursor;
            if (!channelStartsOnly) {
                cursor.emplace(connection, filter,
                               includeLevel(Level::Response)
                                   ? db::CalibrationColumns::EpochsWithTexts
                                   : db::CalibrationColumns::Epochs);
                if (!cursor->ok())
                    throw std::runtime_error("CALIBRATION: " + cursor->diagnostic());
            }
            std::size_t nextStart = 0;
            auto next = [&](db::CalibrationRow& row) {
                if (cursor)
                    return cursor->next(row);
                if (nextStart == channelStarts.size())
                    return false;
                row = std::move(channelStarts[nextStart++]);
                return true;
            };
            db::CalibrationRow row;
            std::string network, stationCode;
            std::vector<ChannelEpoch> epochs;
            std::set<std::pair<std::string, std::string>> seen;
            bool have = false;
            auto flush = [&] {
                if (!have)
                    return;
                const auto site = sites.find(stationCode);
                if (site == sites.end()) {
                    if (warnedMissing.insert(stationCode).second)
                        warn("station " + stationCode +
                             " has no SITE row: its responses are left out");
                } else if (placeable(site->second)) {
                    station(network, site->second, std::move(epochs), std::move(seen));
                }
                epochs.clear();
                seen.clear();
                have = false;
            };
            while (next(row)) {
                if (!have || row.network != network || row.station != stationCode) {
                    flush();
                    orphansBefore(row.network, row.station);
                    network = row.network;
                    stationCode = row.station;
                    have = true;
                }
                seen.insert({row.location, row.channel});
                epochs.push_back(epochOf(row));
            }
            flush();
            if (cursor && !cursor->ok())
                throw std::runtime_error("CALIBRATION: " + cursor->diagnostic());
        }
        // The rest of the stations without responses.
        while (nextOrphan < orphans.size()) {
            const db::SiteRow& site = sites.at(orphans[nextOrphan]);
            warn(orv::text::format("station %s has no response: listed under network %s",
                                   site.station.c_str(), options.defaultNetwork.c_str()));
            if (placeable(site))
                station(options.defaultNetwork, site, {}, {});
            ++nextOrphan;
        }
        endNetwork();
        return summary;
    }
};

} // namespace

ReadSummary readInventory(orv::odbc::Connection& connection, const Selection& selection,
                          InventoryVisitor& visitor, const Warn& warn, const ReadOptions& options) {
    Reader reader(connection, selection, visitor, warn, options);
    return reader.run();
}

} // namespace orv::stationxml
