#include "stationxml/inventory.h"

#include "db/inventoryrows.h"
#include "stationxml/stored.h"
#include "stationxml/xmlwriter.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <optional>
#include <set>
#include <stdexcept>
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

bool anyMatches(const std::vector<std::string>& patterns, std::string_view code, bool exact) {
    if (patterns.empty())
        return true;
    return std::any_of(patterns.begin(), patterns.end(), [&](const std::string& p) {
        return exact ? p == code : codeMatches(p, code);
    });
}

// The selections as they are compared: a location item of blanks, and in a key taken
// literally "??", is the empty location "".
std::vector<Selection> normalized(std::span<const Selection> selections) {
    std::vector<Selection> out(selections.begin(), selections.end());
    for (Selection& s : out)
        for (std::string& l : s.locations)
            if (db::isEmptyLocation(l) && (s.exactCodes || l != "??"))
                l.clear();
    return out;
}

// The time conditions of a selection on an epoch (or a station's dates).
bool timesMatch(const Selection& s, const odbc::Timestamp& start,
                const std::optional<odbc::Timestamp>& end) {
    if (s.start && end && *end < *s.start)
        return false;
    if (s.end && start > *s.end)
        return false;
    if (s.startBefore && !(start < *s.startBefore))
        return false;
    if (s.startAfter && !(start > *s.startAfter))
        return false;
    if (s.endBefore && !(end && *end < *s.endBefore))
        return false;
    if (s.endAfter && end && !(*end > *s.endAfter))
        return false;
    return true;
}

// Inside the selection's box of coordinates; a station without a usable place is in none.
bool inBox(const Selection& s, const db::SiteRow& site) {
    if (!s.minLatitude && !s.maxLatitude && !s.minLongitude && !s.maxLongitude)
        return true;
    if (!site.latitude || !site.longitude || !std::isfinite(*site.latitude) ||
        !std::isfinite(*site.longitude))
        return false;
    const double lat = *site.latitude, lon = *site.longitude;
    return !(s.minLatitude && lat < *s.minLatitude) && !(s.maxLatitude && lat > *s.maxLatitude) &&
           !(s.minLongitude && lon < *s.minLongitude) && !(s.maxLongitude && lon > *s.maxLongitude);
}

db::CalibrationFilter filterOf(const std::vector<Selection>& selections) {
    db::CalibrationFilter filter;
    filter.exactCodes = selections.front().exactCodes;
    for (const Selection& s : selections)
        filter.clauses.push_back({s.networks, s.stations, s.locations, s.channels, s.start, s.end,
                                  s.startBefore, s.startAfter, s.endBefore, s.endAfter});
    return filter;
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

bool alnum(const std::string& s) {
    return std::all_of(s.begin(), s.end(), [](unsigned char c) {
        return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9');
    });
}

using ChannelId = std::pair<std::string, std::string>; // location, channel
using StationId = std::pair<std::string, std::string>; // network, station

// A station met in the reading: the selections that may take it, and its dates.
struct StationVisit {
    std::string network;
    const db::SiteRow* site = nullptr;
    bool orphan = false;
    std::vector<const Selection*> candidates;
    StationInfo info;
};

struct Reader {
    Reader(odbc::Connection& c, std::span<const Selection> s, InventoryVisitor& v, const Warn& w,
           const ReadOptions& o)
        : connection(c), selections(normalized(s)), level(selections.front().level), visitor(v),
          warn(w), options(o), filter(filterOf(selections)) {}

    odbc::Connection& connection;
    const std::vector<Selection> selections;
    const Level level;
    InventoryVisitor& visitor;
    const Warn& warn;
    const ReadOptions& options;
    const db::CalibrationFilter filter;
    ReadSummary summary;

    std::map<std::string, db::SiteRow> sites;
    std::map<std::string, std::vector<db::SiteChanRow>> siteChans; // by station
    // The epochs' statement names each frequency unit (ID_FREQ is there).
    bool withUnits = false;
    // The epochs, read before the stored channels where they tell those too (epochsFirst).
    std::optional<std::vector<db::CalibrationRow>> epochsRead;
    // Of the stored channels the selections' codes take, whatever the times: the first
    // start by network and station; at station level the channels themselves; for the
    // stations that have SITECHAN rows, the channels that have responses (small, however
    // large the archive: a whole one is never held).
    std::map<StationId, odbc::Timestamp> firstStart;
    std::map<StationId, std::vector<ChannelId>> storedChannels;
    std::map<std::string, std::set<ChannelId>> withResponses;
    // The stations to visit: those with stored channels, or with SITECHAN channels without
    // responses, in the database's order (the order of the epochs' statement), and those
    // without responses in code order, merged with them.
    std::vector<StationId> storedOrder;
    std::map<StationId, std::size_t> storedAt;
    std::size_t nextStored = 0;
    std::vector<std::string> orphans;
    std::size_t nextOrphan = 0;
    std::map<std::string, odbc::Timestamp> networkStarts;
    std::set<std::tuple<ProblemKind, std::string, std::vector<std::string>>> told;
    std::optional<std::string> openNetwork;

    bool includeLevel(Level l) const { return int(level) >= int(l); }

    // Problems of stations and codes, which the reading may meet more than once.
    void tellOnce(ProblemKind kind, const std::string& key, std::vector<std::string> values = {}) {
        if (told.insert({kind, key, values}).second)
            warn(Problem{kind, key, std::move(values)});
    }
    void checkCodes(const std::string& net, const std::string& sta, const std::string& loc,
                    const std::string& chan) {
        if (net.empty() || net.size() > 2 || !alnum(net))
            tellOnce(ProblemKind::NetworkCodeNotFdsn, net);
        if (sta.empty() || sta.size() > 5 || !alnum(sta))
            tellOnce(ProblemKind::StationCodeNotFdsn, sta);
        if (loc.size() > 2 || !alnum(loc))
            tellOnce(ProblemKind::LocationCodeNotFdsn, loc);
        if (chan.size() != 3 || !alnum(chan))
            tellOnce(ProblemKind::ChannelCodeNotFdsn, chan);
    }
    // A text as XML 1.0 carries it, said once per key and column when it was changed.
    void safeText(std::string& text, const std::string& key, const char* column) {
        if (xmlSafe(text))
            tellOnce(ProblemKind::TextReplaced, key, {column});
    }

    // The station's place: it is left out, and said, when the schema would refuse it.
    bool placeable(const db::SiteRow& site) {
        for (const auto& [value, column] :
             {std::pair{site.latitude, "LAT"}, {site.longitude, "LON"}})
            if (!value) {
                tellOnce(ProblemKind::StationValueMissing, site.station, {column});
                summary.refusedSome = true;
                return false;
            }
        const double lat = *site.latitude, lon = *site.longitude;
        const double elevation = site.elevation.value_or(0);
        const char* refused = !(lat >= -90 && lat <= 90)     ? "Latitude"
                              : !(lon >= -180 && lon <= 180) ? "Longitude"
                              : !std::isfinite(elevation)    ? "Elevation"
                                                             : nullptr;
        if (refused) {
            const double value = refused[1] == 'a' ? lat : refused[1] == 'o' ? lon : elevation;
            tellOnce(ProblemKind::StationValueRefused, site.station,
                     {refused, reportNumber(value)});
            summary.refusedSome = true;
            return false;
        }
        if (!site.elevation)
            tellOnce(ProblemKind::ElevationMissing, site.station);
        return true;
    }

    // The earlier of a station's opening and its first response.
    static odbc::Timestamp stationStart(const db::SiteRow& site,
                                        std::optional<odbc::Timestamp> first) {
        if (site.on && (!first || *site.on < *first))
            return *site.on;
        return first.value_or(odbc::Timestamp{});
    }
    std::optional<odbc::Timestamp> firstStored(const StationId& id) const {
        const auto found = firstStart.find(id);
        return found != firstStart.end() ? std::optional(found->second) : std::nullopt;
    }

    void beginNetwork(const std::string& code) {
        if (openNetwork == code)
            return;
        endNetwork();
        NetworkInfo n;
        n.code = code;
        safeText(n.code, code, "NETWORK");
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

    // What a station met in the reading is, or nullopt when no selection can take it. A
    // station without a SITE row is said when tellMissing.
    std::optional<StationVisit> visitOf(const StationId& id, bool orphan, bool tellMissing) {
        StationVisit v;
        v.network = id.first;
        v.orphan = orphan;
        const auto site = sites.find(id.second);
        if (site == sites.end()) {
            if (tellMissing)
                tellOnce(ProblemKind::NoSiteRow, id.second);
            return std::nullopt;
        }
        v.site = &site->second;
        for (const Selection& s : selections)
            if (anyMatches(s.networks, id.first, s.exactCodes) &&
                anyMatches(s.stations, id.second, s.exactCodes) &&
                (!orphan || !hasChannels(s) || namesPlainChannel(s, id.second, false)) &&
                inBox(s, *v.site))
                v.candidates.push_back(&s);
        if (v.candidates.empty())
            return std::nullopt;
        StationInfo& info = v.info;
        info.code = v.site->station;
        info.latitude = v.site->latitude.value_or(NAN);
        info.longitude = v.site->longitude.value_or(NAN);
        info.elevation = v.site->elevation.value_or(0);
        info.siteName = v.site->englishName.empty() ? v.site->station : v.site->englishName;
        info.description = v.site->description;
        info.start = stationStart(*v.site, firstStored(id));
        info.end = v.site->off;
        return v;
    }
    static bool hasChannels(const Selection& s) {
        return !s.locations.empty() || !s.channels.empty();
    }
    // Whether the selection's codes name a SITECHAN channel of the station (its network
    // aside); with withoutResponse only one that has no stored epoch.
    bool namesPlainChannel(const Selection& s, const std::string& station,
                           bool withoutResponse) const {
        const auto found = siteChans.find(station);
        if (found == siteChans.end() || !anyMatches(s.stations, station, s.exactCodes))
            return false;
        const auto responses = withResponses.find(station);
        return std::any_of(found->second.begin(), found->second.end(), [&](const auto& c) {
            return anyMatches(s.locations, c.location, s.exactCodes) &&
                   anyMatches(s.channels, c.channel, s.exactCodes) &&
                   !(withoutResponse && responses != withResponses.end() &&
                     responses->second.count({c.location, c.channel}));
        });
    }

    // The same, of any station.
    bool namesPlainChannel(const Selection& s, bool withoutResponse) const {
        return std::any_of(siteChans.begin(), siteChans.end(), [&](const auto& station) {
            return namesPlainChannel(s, station.first, withoutResponse);
        });
    }

    bool epochSelected(const StationVisit& v, const std::string& location,
                       const std::string& channel, const odbc::Timestamp& start,
                       const std::optional<odbc::Timestamp>& end) const {
        return std::any_of(v.candidates.begin(), v.candidates.end(), [&](const Selection* s) {
            return anyMatches(s->locations, location, s->exactCodes) &&
                   anyMatches(s->channels, channel, s->exactCodes) && timesMatch(*s, start, end);
        });
    }

    // The SITECHAN channels of the station that have no stored epoch: one epoch each over
    // the station's dates, where a selection takes it.
    void addChannelsWithoutResponses(const StationVisit& v, std::vector<ChannelEpoch>& epochs) {
        const auto found = siteChans.find(v.site->station);
        if (found == siteChans.end())
            return;
        const auto responses = withResponses.find(v.site->station);
        std::set<ChannelId> seen;
        for (const db::SiteChanRow& c : found->second) {
            const ChannelId id{c.location, c.channel};
            if ((responses != withResponses.end() && responses->second.count(id)) ||
                !seen.insert(id).second ||
                !epochSelected(v, c.location, c.channel, v.info.start, v.info.end))
                continue;
            ChannelEpoch e;
            e.code = c.channel;
            e.location = c.location;
            e.start = v.info.start;
            e.end = v.info.end;
            if (includeLevel(Level::Response))
                e.response = Response{};
            epochs.push_back(std::move(e));
        }
    }

    // At station level: a selection takes the station by its dates, and by a channel of
    // it that its codes name (a stored one under this network, or one without responses).
    bool stationSelected(const StationVisit& v) const {
        const auto channels = storedChannels.find({v.network, v.site->station});
        return std::any_of(v.candidates.begin(), v.candidates.end(), [&](const Selection* s) {
            if (!timesMatch(*s, v.info.start, v.info.end))
                return false;
            if (v.orphan || !hasChannels(*s))
                return true;
            auto named = [&](const std::string& location, const std::string& channel) {
                return anyMatches(s->locations, location, s->exactCodes) &&
                       anyMatches(s->channels, channel, s->exactCodes);
            };
            if (channels != storedChannels.end())
                for (const auto& [location, channel] : channels->second)
                    if (named(location, channel))
                        return true;
            return namesPlainChannel(*s, v.site->station, true);
        });
    }

    // Emits a station with its epochs (the stored rows given, which the selection takes,
    // and its channels without responses); nothing when none is left and the station is not
    // one without responses that the selection takes by its dates.
    void finishStation(StationVisit& v, const std::vector<db::CalibrationRow>& rows) {
        if (!includeLevel(Level::Channel)) {
            if (stationSelected(v) && placeableStation(v))
                emit(v, {});
            return;
        }
        std::vector<ChannelEpoch> epochs;
        for (const db::CalibrationRow& row : rows) {
            ChannelEpoch& e = epochs.emplace_back();
            e.code = row.channel;
            e.location = row.location;
            e.start = row.start;
            e.end = row.end;
        }
        addChannelsWithoutResponses(v, epochs);
        if (epochs.empty() &&
            !(v.orphan &&
              std::any_of(v.candidates.begin(), v.candidates.end(), [&](const Selection* s) {
                  return timesMatch(*s, v.info.start, v.info.end);
              })))
            return;
        if (!placeableStation(v))
            return;
        for (ChannelEpoch& e : epochs)
            if (!fillFromSiteChan(v, e))
                return;
        if (includeLevel(Level::Response))
            for (std::size_t i = 0; i < rows.size(); ++i)
                epochs[i].response = responseOf(rows[i]);
        std::sort(epochs.begin(), epochs.end(), [](const ChannelEpoch& a, const ChannelEpoch& b) {
            return std::tie(a.location, a.code, a.start) < std::tie(b.location, b.code, b.start);
        });
        tellOverlaps(v, epochs);
        emit(v, epochs);
    }

    // The station's checks before it is shown: its place, its texts as XML carries them.
    bool placeableStation(StationVisit& v) {
        if (!placeable(*v.site))
            return false;
        if (v.orphan)
            tellOnce(ProblemKind::ListedUnderDefault, v.site->station, {v.network});
        const std::string station = v.site->station;
        safeText(v.info.code, station, "STA");
        safeText(v.info.siteName, station, "STANAME");
        safeText(v.info.description, station, "DESCR");
        return true;
    }

    void emit(const StationVisit& v, const std::vector<ChannelEpoch>& epochs) {
        beginNetwork(v.network);
        visitor.beginStation(v.info);
        ++summary.stations;
        for (const ChannelEpoch& e : epochs) {
            visitor.channel(e);
            ++summary.channels;
        }
        visitor.endStation();
    }

    std::string channelKey(const StationVisit& v, const ChannelEpoch& e) const {
        return v.network + "." + v.site->station + "." + e.location + "." + e.code;
    }

    // Epochs of one channel that overlap are exported as stored, and said: each with the
    // earlier epoch that reaches furthest.
    void tellOverlaps(const StationVisit& v, const std::vector<ChannelEpoch>& epochs) {
        auto endText = [](const std::optional<odbc::Timestamp>& t) {
            return t ? t->toSqlText() : std::string();
        };
        const ChannelEpoch* furthest = nullptr;
        for (const ChannelEpoch& e : epochs) {
            if (!furthest || furthest->location != e.location || furthest->code != e.code) {
                furthest = &e;
                continue;
            }
            if (!furthest->end || *furthest->end > e.start)
                warn(Problem{ProblemKind::EpochsOverlap,
                             channelKey(v, e),
                             {furthest->start.toSqlText(), endText(furthest->end),
                              e.start.toSqlText(), endText(e.end)}});
            if (furthest->end && (!e.end || *e.end > *furthest->end))
                furthest = &e;
        }
    }

    // The channel's place, depth, rate and sensor from SITECHAN (else the station's place);
    // false, the station left out and said, for a value the schema would refuse.
    bool fillFromSiteChan(const StationVisit& v, ChannelEpoch& e) {
        e.latitude = v.info.latitude;
        e.longitude = v.info.longitude;
        e.elevation = v.info.elevation;
        orientation(e.code, e.azimuth, e.dip);
        const auto found = siteChans.find(v.site->station);
        if (found != siteChans.end())
            for (const db::SiteChanRow& c : found->second)
                if (c.channel == e.code && c.location == e.location) {
                    e.latitude = c.latitude.value_or(e.latitude);
                    e.longitude = c.longitude.value_or(e.longitude);
                    e.depth = c.depth.value_or(0);
                    if (c.sampleRate && !std::isfinite(*c.sampleRate))
                        tellOnce(ProblemKind::SampleRateLeftOut, channelKey(v, e),
                                 {reportNumber(*c.sampleRate)});
                    else if (c.sampleRate && *c.sampleRate >= 0)
                        e.sampleRate = c.sampleRate;
                    e.sensorDescription = c.description;
                    break;
                }
        const char* refused = !(e.latitude >= -90 && e.latitude <= 90)       ? "Latitude"
                              : !(e.longitude >= -180 && e.longitude <= 180) ? "Longitude"
                              : !std::isfinite(e.depth)                      ? "Depth"
                                                                             : nullptr;
        if (refused) {
            const double value = refused[0] == 'D'   ? e.depth
                                 : refused[1] == 'a' ? e.latitude
                                                     : e.longitude;
            tellOnce(ProblemKind::ChannelValueRefused, v.site->station,
                     {e.location + "." + e.code, refused, reportNumber(value)});
            summary.refusedSome = true;
            return false;
        }
        checkCodes(v.network, v.site->station, e.location, e.code);
        const std::string key = channelKey(v, e);
        safeText(e.code, key, "CHAN");
        safeText(e.location, key, "LOCATION");
        safeText(e.sensorDescription, key, "SITECHAN.DESCR");
        return true;
    }

    // The stored response of a row; an empty one, the reason said, where it gives none.
    Response responseOf(const db::CalibrationRow& row) {
        StoredResponse s;
        s.sac = row.sac;
        s.fap = row.fap;
        s.sensUnit = row.sensUnit.value_or(0);
        s.freq = row.freq;
        if (row.freqUnit)
            s.freqUnitName = row.freqUnitName.value_or("Hz");
        s.sens = row.sens;
        const std::string key = row.network + "." + row.station + "." + row.location + "." +
                                row.channel + " " + row.start.toSqlText();
        return (options.conversions ? options.conversions->convert(s, key, warn)
                                    : convertStored(s, key, warn))
            .value_or(Response{});
    }

    // --- the reading, step by step ---

    void readStationsAndChannels() {
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
        if (includeLevel(Level::Response)) {
            withUnits = connection.tableExists("ID_FREQ");
            if (options.responseTablesRequired && !withUnits)
                throw std::runtime_error("the database has no ID_FREQ table");
        }
    }

    // Stations without responses go under the default network, where a selection asks for
    // no channel or location, or names a SITECHAN channel of theirs; true when some station
    // has responses.
    bool findStationsWithoutResponses() {
        bool responses = connection.tableExists("CALIBRATION");
        if (!responses && options.responseTablesRequired)
            throw std::runtime_error("the database has no CALIBRATION table");
        const bool wanted = std::any_of(selections.begin(), selections.end(), [&](const auto& s) {
            return anyMatches(s.networks, options.defaultNetwork, s.exactCodes) &&
                   (!hasChannels(s) || namesPlainChannel(s, false));
        });
        if (!wanted)
            return responses;
        std::set<std::string> having;
        if (responses) {
            std::string diagnostic;
            auto found = db::stationsWithResponses(connection, filter, diagnostic);
            if (!found)
                throw std::runtime_error("CALIBRATION: " + diagnostic);
            having = std::move(*found);
        }
        for (const auto& [code, site] : sites)
            if (!having.count(code))
                orphans.push_back(code);
        return !having.empty();
    }

    // The stored channels the codes take (their first starts, whatever the times): the
    // stations to visit, their first responses and the channels that have responses. A
    // channel has responses under any network of its station: where a selection names
    // networks and one of the SITECHAN channels it names has none under them, they are read
    // apart.
    void readStoredChannels() {
        const bool byNetwork = std::any_of(selections.begin(), selections.end(),
                                           [](const Selection& s) { return !s.networks.empty(); });
        if (epochsFirst()) {
            // Every epoch of a channel is among them: its first start is theirs.
            epochsRead = readAllEpochs();
            for (const db::CalibrationRow& row : *epochsRead)
                noteStoredChannel(row);
        } else {
            db::CalibrationCursor starts(connection, filter, db::CalibrationColumns::ChannelStarts);
            db::CalibrationRow row;
            while (starts.next(row))
                noteStoredChannel(row);
            if (!starts.ok())
                throw std::runtime_error("CALIBRATION: " + starts.diagnostic());
        }
        if (byNetwork && std::any_of(selections.begin(), selections.end(),
                                     [&](const auto& s) { return namesPlainChannel(s, true); }))
            readChannelsWithResponses();
    }

    // Where the epochs' statement reads every epoch of the stored channels the codes take
    // (no selection has a time), at a level that reads them, and the caller bounds the
    // reading to a few channels: it is run once, before the stations are visited, and tells
    // the stored channels too. (A whole station's epochs at level response, held so, would
    // be its every response text at once.)
    bool epochsFirst() const {
        return options.fewChannels && includeLevel(Level::Channel) &&
               std::none_of(selections.begin(), selections.end(), [](const Selection& s) {
                   return s.start || s.end || s.startBefore || s.startAfter || s.endBefore ||
                          s.endAfter;
               });
    }

    db::CalibrationColumns epochColumns() const {
        if (!includeLevel(Level::Response))
            return db::CalibrationColumns::Epochs;
        return withUnits ? db::CalibrationColumns::EpochsWithTextsAndUnits
                         : db::CalibrationColumns::EpochsWithTexts;
    }

    std::vector<db::CalibrationRow> readAllEpochs() {
        db::CalibrationCursor cursor(connection, filter, epochColumns());
        std::vector<db::CalibrationRow> rows;
        db::CalibrationRow row;
        while (cursor.next(row))
            rows.push_back(std::move(row));
        if (!cursor.ok())
            throw std::runtime_error("CALIBRATION: " + cursor.diagnostic());
        return rows;
    }

    // A stored channel the codes take, with its first start or one of its epochs.
    void noteStoredChannel(const db::CalibrationRow& row) {
        if (siteChans.count(row.station))
            withResponses[row.station].insert({row.location, row.channel});
        const bool named = std::any_of(selections.begin(), selections.end(), [&](auto& s) {
            return anyMatches(s.networks, row.network, s.exactCodes) &&
                   anyMatches(s.stations, row.station, s.exactCodes) &&
                   anyMatches(s.locations, row.location, s.exactCodes) &&
                   anyMatches(s.channels, row.channel, s.exactCodes);
        });
        if (!named)
            return;
        const StationId id{row.network, row.station};
        const auto [first, made] = firstStart.emplace(id, row.start);
        if (!made && row.start < first->second)
            first->second = row.start;
        if (!includeLevel(Level::Channel))
            storedChannels[id].emplace_back(row.location, row.channel);
        if (storedAt.emplace(id, storedOrder.size()).second)
            storedOrder.push_back(id);
    }

    // The channels that have responses under any network, of the stations with SITECHAN
    // rows.
    void readChannelsWithResponses() {
        std::string diagnostic;
        auto found = db::channelsWithResponses(connection, filter, diagnostic);
        if (!found)
            throw std::runtime_error("CALIBRATION: " + diagnostic);
        for (auto& [station, channels] : *found)
            if (siteChans.count(station))
                withResponses[station].merge(channels);
    }

    // The stations whose SITECHAN channels without responses a selection's codes name, where
    // none of their stored channels is named: under each network their stored rows carry,
    // with the first start there, among the stations to visit in the database's order.
    void addStationsOfChannelsWithoutResponses() {
        auto names = [&](const std::string& station, const std::string* network) {
            return std::any_of(selections.begin(), selections.end(), [&](const Selection& s) {
                return hasChannels(s) &&
                       (!network || anyMatches(s.networks, *network, s.exactCodes)) &&
                       namesPlainChannel(s, station, true);
            });
        };
        if (std::none_of(siteChans.begin(), siteChans.end(),
                         [&](const auto& c) { return names(c.first, nullptr); }))
            return;
        std::string diagnostic;
        auto found = db::stationNetworks(connection, filter, diagnostic);
        if (!found)
            throw std::runtime_error("CALIBRATION: " + diagnostic);
        // The stored order kept as it is, the new stations put where the statement has them.
        std::vector<StationId> order;
        std::size_t nextOld = 0;
        for (const db::StationNetwork& n : *found) {
            const StationId id{n.network, n.station};
            const auto stored = storedAt.find(id);
            if (stored != storedAt.end()) {
                while (nextOld <= stored->second)
                    order.push_back(storedOrder[nextOld++]);
                continue;
            }
            if (!names(n.station, &n.network))
                continue;
            const auto [first, made] = firstStart.emplace(id, n.firstStart);
            if (made)
                order.push_back(id);
            else if (n.firstStart < first->second)
                first->second = n.firstStart;
        }
        while (nextOld < storedOrder.size())
            order.push_back(storedOrder[nextOld++]);
        storedOrder = std::move(order);
        storedAt.clear();
        for (std::size_t i = 0; i < storedOrder.size(); ++i)
            storedAt.emplace(storedOrder[i], i);
    }

    // Network start dates come first: the element carries them before its stations.
    void noteNetworkStarts() {
        auto note = [&](const StationId& id) {
            const auto site = sites.find(id.second);
            const std::optional<odbc::Timestamp> first = firstStored(id);
            const std::optional<odbc::Timestamp> start =
                site != sites.end() ? stationStart(site->second, first) : first;
            if (!start)
                return;
            const auto found = networkStarts.find(id.first);
            if (found == networkStarts.end() || *start < found->second)
                networkStarts[id.first] = *start;
        };
        for (const StationId& id : storedOrder)
            note(id);
        for (const std::string& code : orphans)
            note({options.defaultNetwork, code});
    }

    // The stations without responses that come before id (all of them without id).
    void visitOrphansBefore(const std::optional<StationId>& id) {
        while (nextOrphan < orphans.size() &&
               (!id || StationId{options.defaultNetwork, orphans[nextOrphan]} < *id))
            if (auto v = visitOf({options.defaultNetwork, orphans[nextOrphan++]}, true, true))
                finishStation(*v, {});
    }

    // The stations before id that have no stored epoch in the times, each with the stations
    // without responses before it; all of them without id.
    void visitStationsBefore(const std::optional<StationId>& id) {
        const auto found = id ? storedAt.find(*id) : storedAt.end();
        const std::size_t until = !id                       ? storedOrder.size()
                                  : found == storedAt.end() ? nextStored
                                                            : std::max(nextStored, found->second);
        while (nextStored < until) {
            const StationId& next = storedOrder[nextStored++];
            visitOrphansBefore(next);
            if (auto v = visitOf(next, false, !includeLevel(Level::Channel)))
                finishStation(*v, {});
        }
        if (found != storedAt.end())
            nextStored = std::max(nextStored, found->second + 1);
        visitOrphansBefore(id);
    }

    // The stored epochs in the selection's times, station by station, among the stations
    // without epochs there.
    void readEpochs() {
        std::optional<StationId> current;
        std::optional<StationVisit> visit;
        std::vector<db::CalibrationRow> rows;
        auto flush = [&] {
            if (visit)
                finishStation(*visit, rows);
            rows.clear();
            visit.reset();
        };
        auto take = [&](db::CalibrationRow& row) {
            if (!current || current->first != row.network || current->second != row.station) {
                flush();
                current = StationId{row.network, row.station};
                visitStationsBefore(current);
                visit = visitOf(*current, false, true);
            }
            if (visit && epochSelected(*visit, row.location, row.channel, row.start, row.end))
                rows.push_back(std::move(row));
        };
        if (epochsRead) {
            for (db::CalibrationRow& row : *epochsRead)
                take(row);
            flush();
            return;
        }
        db::CalibrationCursor cursor(connection, filter, epochColumns());
        db::CalibrationRow row;
        while (cursor.next(row))
            take(row);
        flush();
        if (!cursor.ok())
            throw std::runtime_error("CALIBRATION: " + cursor.diagnostic());
    }

    ReadSummary run() {
        readStationsAndChannels();
        if (findStationsWithoutResponses()) {
            readStoredChannels();
            addStationsOfChannelsWithoutResponses();
        }
        noteNetworkStarts();
        if (includeLevel(Level::Channel) && !storedOrder.empty())
            readEpochs();
        visitStationsBefore(std::nullopt);
        endNetwork();
        return summary;
    }
};

} // namespace

ReadSummary readInventory(orv::odbc::Connection& connection, const Selection& selection,
                          InventoryVisitor& visitor, const Warn& warn, const ReadOptions& options) {
    return readInventory(connection, std::span<const Selection>(&selection, 1), visitor, warn,
                         options);
}

ReadSummary readInventory(orv::odbc::Connection& connection, std::span<const Selection> selections,
                          InventoryVisitor& visitor, const Warn& warn, const ReadOptions& options) {
    if (selections.empty())
        return {};
    Reader reader(connection, selections, visitor, warn, options);
    return reader.run();
}

} // namespace orv::stationxml
