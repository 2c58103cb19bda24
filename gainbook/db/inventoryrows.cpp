#include "db/inventoryrows.h"

#include "db/connection.h"
#include "db/inventorystatements.h"
#include "text/text.h"

#include <algorithm>
#include <cmath>

namespace orv::gainbook {

namespace {

// A stored response text with its line breaks: "|" (how inserts store a break) and "\n"
// become "\r\n", as the database panel shows them; tabs become blanks.
std::string storedLines(const std::string& stored) {
    std::string out;
    out.reserve(stored.size() + stored.size() / 16);
    const std::size_t size = stored.size();
    std::size_t from = 0;
    for (std::size_t at = 0; at < size; ++at) {
        const char c = stored[at];
        if (c != '\r' && c != '\n' && c != '|' && c != '\t')
            continue;
        out.append(stored, from, at - from);
        from = at + 1;
        if (c == '\t')
            out += ' ';
        else if (c != '\r')
            out += "\r\n";
        else if (at + 1 == size || stored[at + 1] != '\n')
            out += '\r';
    }
    out.append(stored, from, std::string::npos);
    return out;
}

std::string readText(odbc::Statement& st, SQLUSMALLINT column) {
    return orv::text::decodeLegacy(st.getText(column).value_or(""));
}

} // namespace

std::string likePattern(std::string_view codePattern, bool exact) {
    std::string out;
    for (const char c : codePattern) {
        if (exact && (c == '*' || c == '?')) {
            out += c;
            continue;
        }
        switch (c) {
        case '*':
            out += '%';
            break;
        case '?':
            out += '_';
            break;
        case '%':
        case '_':
        case '!':
            out += '!';
            out += c;
            break;
        default:
            out += c;
        }
    }
    return out;
}

bool isEmptyLocation(std::string_view stored) {
    return stored == "??" || stored.find_first_not_of(' ') == std::string_view::npos;
}

namespace {

std::string readLocation(odbc::Statement& st, SQLUSMALLINT column) {
    std::string code = readCode(st, column);
    if (isEmptyLocation(code))
        code.clear();
    return code;
}

// SITECHAN's depth column is EDEPH where the table has one (as the station editor binds
// it), else EDEPTH (as the response editor creates the table).
bool depthIsEdeph(odbc::Connection& connection) {
    return connection.columnExists("SITECHAN", "EDEPH");
}

// Runs row() on every row of an executed statement; false with the driver's message when a
// fetch fails, so that a damaged table is never read as a short one.
template <typename Row> bool eachRow(odbc::Statement& st, std::string& diagnostic, Row row) {
    for (;;) {
        const SQLRETURN rc = st.fetch();
        if (rc == SQL_NO_DATA)
            return true;
        if (!odbc::isSuccess(rc)) {
            diagnostic = st.diagnostic();
            if (diagnostic.empty())
                diagnostic = "a row could not be read";
            return false;
        }
        row();
    }
}

// SQL conditions (each " AND ...") and their parameters.
struct Conditions {
    std::string sql;
    std::vector<odbc::Parameter> parameters;
};

// One list of code patterns: " AND (a OR b ...)". A location item "" (or blanks) is the
// empty location in every stored form.
void appendCodes(const std::vector<std::string>& items, bool exact, const char* like,
                 const char* equals, bool location, Conditions& out) {
    if (items.empty())
        return;
    out.sql += " AND (";
    for (std::size_t i = 0; i < items.size(); ++i) {
        if (i > 0)
            out.sql += " OR ";
        if (location && isEmptyLocation(items[i]) && items[i] != "??") {
            out.sql += sql::kEmptyLocation;
            continue;
        }
        const bool plain = exact || items[i].find_first_of("*?") == std::string::npos;
        out.sql += plain ? equals : like;
        out.parameters.push_back(
            odbc::Parameter::text(plain ? items[i] : likePattern(items[i], exact)));
    }
    out.sql += ")";
}

void appendTime(const std::optional<odbc::Timestamp>& time, const char* condition,
                Conditions& out) {
    if (!time)
        return;
    out.sql += condition;
    out.parameters.push_back(odbc::Parameter::date(*time));
}

// What of a clause goes into a statement.
enum class Part { Stations, NetworksAndStations, StationsAndChannels, Codes, CodesAndTimes };

Conditions clauseConditions(const RowClause& c, bool exact, Part part) {
    Conditions one;
    const bool codes = part == Part::Codes || part == Part::CodesAndTimes;
    if (codes || part == Part::NetworksAndStations)
        appendCodes(c.networks, exact, sql::kLikeNetwork, sql::kEqualsNetwork, false, one);
    appendCodes(c.stations, exact, sql::kLikeStation, sql::kEqualsStation, false, one);
    if (codes)
        appendCodes(c.locations, exact, sql::kLikeLocation, sql::kEqualsLocation, true, one);
    if (part != Part::Stations && part != Part::NetworksAndStations)
        appendCodes(c.channels, exact, sql::kLikeChannel, sql::kEqualsChannel, false, one);
    if (part == Part::CodesAndTimes) {
        appendTime(c.start, sql::kEndsAfter, one);
        appendTime(c.end, sql::kStartsBefore, one);
        appendTime(c.startBefore, sql::kStartsBeforeStrictly, one);
        appendTime(c.startAfter, sql::kStartsAfterStrictly, one);
        appendTime(c.endBefore, sql::kEndsBeforeStrictly, one);
        appendTime(c.endAfter, sql::kEndsAfterStrictly, one);
    }
    return one;
}

// The filter's conditions: " AND ((clause) OR (clause) ...)"; none when a clause takes
// every row or when they would need too many parameters.
Conditions conditionsOf(const CalibrationFilter& filter, Part part) {
    std::vector<Conditions> clauses;
    std::size_t parameters = 0;
    for (const RowClause& c : filter.clauses) {
        Conditions one = clauseConditions(c, filter.exactCodes, part);
        if (one.sql.empty())
            return {};
        parameters += one.parameters.size();
        if (parameters > kMaxFilterParameters)
            return {};
        clauses.push_back(std::move(one));
    }
    Conditions out;
    for (std::size_t i = 0; i < clauses.size(); ++i) {
        out.sql += i == 0 ? " AND ((1=1" : " OR (1=1";
        out.sql += clauses[i].sql + ")";
        for (odbc::Parameter& p : clauses[i].parameters)
            out.parameters.push_back(std::move(p));
    }
    if (!out.sql.empty())
        out.sql += ")";
    return out;
}

// Runs head + the filter's conditions + tail, prepared once on a connection that keeps its
// statements (the filter's values are parameters, so a text recurs); false with the
// driver's message.
bool runFiltered(std::optional<odbc::PreparedStatement>& st, odbc::Connection& connection,
                 std::string sql, const CalibrationFilter& filter, Part part, const char* tail,
                 std::string& diagnostic) {
    const Conditions c = conditionsOf(filter, part);
    sql += c.sql;
    sql += tail;
    st.emplace(connection, sql);
    if (!st->statement().valid()) {
        diagnostic = "no statement could be allocated";
        return false;
    }
    if (!odbc::isSuccess(st->run(c.parameters))) {
        diagnostic = st->statement().diagnostic();
        return false;
    }
    return true;
}

} // namespace

std::optional<std::vector<SiteRow>>
readSites(odbc::Connection& connection, const CalibrationFilter& filter, std::string& diagnostic) {
    std::vector<SiteRow> rows;
    if (!connection.tableExists("SITE"))
        return rows;
    std::optional<odbc::PreparedStatement> prepared;
    if (!runFiltered(prepared, connection, sql::kInventorySitesHead, filter, Part::Stations,
                     sql::kInventorySitesOrder, diagnostic))
        return std::nullopt;
    odbc::Statement& st = prepared->statement();
    const bool read = eachRow(st, diagnostic, [&] {
        SiteRow r;
        r.station = readCode(st, 1);
        r.latitude = st.getDouble(2);
        r.longitude = st.getDouble(3);
        r.elevation = st.getDouble(4);
        r.englishName = readText(st, 5);
        r.description = readText(st, 6);
        r.on = st.getTimestamp(7);
        r.off = st.getTimestamp(8);
        rows.push_back(std::move(r));
    });
    if (!read)
        return std::nullopt;
    return rows;
}

std::optional<std::vector<SiteChanRow>> readSiteChans(odbc::Connection& connection,
                                                      const CalibrationFilter& filter,
                                                      std::string& diagnostic) {
    std::vector<SiteChanRow> rows;
    if (!connection.tableExists("SITECHAN"))
        return rows;
    const bool lcode = connection.columnExists("SITECHAN", "LCODE");
    const bool edeph = depthIsEdeph(connection);
    const char* head =
        lcode ? (edeph ? sql::kInventorySiteChansEdephHead : sql::kInventorySiteChansEdepthHead)
              : (edeph ? sql::kInventorySiteChansNoLcodeEdephHead
                       : sql::kInventorySiteChansNoLcodeEdepthHead);
    std::optional<odbc::PreparedStatement> prepared;
    if (!runFiltered(prepared, connection, head, filter, Part::StationsAndChannels,
                     sql::kInventorySiteChansOrder, diagnostic))
        return std::nullopt;
    odbc::Statement& st = prepared->statement();
    const bool read = eachRow(st, diagnostic, [&] {
        SiteChanRow r;
        r.station = readCode(st, 1);
        r.channel = readCode(st, 2);
        r.location = readLocation(st, 3);
        r.depth = st.getDouble(4);
        r.latitude = st.getDouble(5);
        r.longitude = st.getDouble(6);
        r.sampleRate = st.getDouble(7);
        r.description = readText(st, 8);
        r.calibFile = readText(st, 9);
        r.group = st.getInteger(10);
        rows.push_back(std::move(r));
    });
    if (!read)
        return std::nullopt;
    return rows;
}

std::optional<std::set<std::string>> stationsWithResponses(odbc::Connection& connection,
                                                           const CalibrationFilter& filter,
                                                           std::string& diagnostic) {
    std::optional<odbc::PreparedStatement> prepared;
    if (!runFiltered(prepared, connection, sql::kInventoryStationsWithResponsesHead, filter,
                     Part::Stations, ";", diagnostic))
        return std::nullopt;
    odbc::Statement& st = prepared->statement();
    std::set<std::string> out;
    if (!eachRow(st, diagnostic, [&] { out.insert(readCode(st, 1)); }))
        return std::nullopt;
    return out;
}

std::optional<std::map<std::string, std::set<std::pair<std::string, std::string>>>>
channelsWithResponses(odbc::Connection& connection, const CalibrationFilter& filter,
                      std::string& diagnostic) {
    std::optional<odbc::PreparedStatement> prepared;
    if (!runFiltered(prepared, connection, sql::kInventoryChannelsWithResponsesHead, filter,
                     Part::StationsAndChannels, ";", diagnostic))
        return std::nullopt;
    odbc::Statement& st = prepared->statement();
    std::map<std::string, std::set<std::pair<std::string, std::string>>> out;
    const bool read = eachRow(st, diagnostic, [&] {
        std::string station = readCode(st, 1);
        std::string location = readLocation(st, 2);
        out[std::move(station)].emplace(std::move(location), readCode(st, 3));
    });
    if (!read)
        return std::nullopt;
    return out;
}

std::optional<std::vector<StationNetwork>> stationNetworks(odbc::Connection& connection,
                                                           const CalibrationFilter& filter,
                                                           std::string& diagnostic) {
    std::optional<odbc::PreparedStatement> prepared;
    if (!runFiltered(prepared, connection, sql::kInventoryStationNetworksHead, filter,
                     Part::NetworksAndStations, sql::kInventoryStationNetworksGroup, diagnostic))
        return std::nullopt;
    odbc::Statement& st = prepared->statement();
    std::vector<StationNetwork> out;
    const bool read = eachRow(st, diagnostic, [&] {
        out.push_back(
            {readCode(st, 1), readCode(st, 2), st.getTimestamp(3).value_or(odbc::Timestamp{})});
    });
    if (!read)
        return std::nullopt;
    return out;
}

namespace {

std::optional<std::map<long long, std::string>> readUnits(odbc::Connection& connection,
                                                          const char* table, const char* sql,
                                                          std::string& diagnostic) {
    std::map<long long, std::string> out;
    if (!connection.tableExists(table))
        return out;
    odbc::PreparedStatement prepared(connection, sql);
    odbc::Statement& st = prepared.statement();
    if (!odbc::isSuccess(prepared.run({}))) {
        diagnostic = st.diagnostic();
        return std::nullopt;
    }
    const bool read = eachRow(st, diagnostic, [&] {
        const auto id = st.getInteger(1);
        if (id)
            out[*id] = orv::text::trim(st.getText(2).value_or(""));
    });
    if (!read)
        return std::nullopt;
    return out;
}

} // namespace

std::optional<std::map<long long, std::string>> readSensUnits(odbc::Connection& connection,
                                                              std::string& diagnostic) {
    return readUnits(connection, "ID_SENS", sql::kInventorySensUnits, diagnostic);
}

std::optional<std::map<long long, std::string>> readFreqUnits(odbc::Connection& connection,
                                                              std::string& diagnostic) {
    return readUnits(connection, "ID_FREQ", sql::kInventoryFreqUnits, diagnostic);
}

CalibrationCursor::CalibrationCursor(odbc::Connection& connection, const CalibrationFilter& filter,
                                     CalibrationColumns columns)
    : columns_(columns) {
    const bool starts = columns == CalibrationColumns::ChannelStarts;
    const char* head = columns == CalibrationColumns::EpochsWithTextsAndUnits
                           ? sql::kInventoryRowsWithTextsAndUnitsHead
                       : columns == CalibrationColumns::EpochsWithTexts
                           ? sql::kInventoryRowsWithTextsHead
                       : starts ? sql::kInventoryChannelStartsHead
                                : sql::kInventoryRowsHead;
    ok_ = runFiltered(
        statement_, connection, head, filter, starts ? Part::Codes : Part::CodesAndTimes,
        starts ? sql::kInventoryChannelStartsGroup : sql::kInventoryRowsOrder, diagnostic_);
}

bool CalibrationCursor::next(CalibrationRow& row) {
    if (!ok_)
        return false;
    odbc::Statement& st = statement_->statement();
    const SQLRETURN rc = st.fetch();
    if (rc == SQL_NO_DATA)
        return false;
    if (!odbc::isSuccess(rc)) {
        ok_ = false;
        diagnostic_ = st.diagnostic();
        if (diagnostic_.empty())
            diagnostic_ = "a row could not be read";
        return false;
    }
    row.network = readCode(st, 1);
    row.station = readCode(st, 2);
    row.location = readLocation(st, 3);
    row.channel = readCode(st, 4);
    row.start = st.getTimestamp(5).value_or(odbc::Timestamp{});
    row.sac.clear();
    row.fap.clear();
    row.freqUnitName.reset();
    if (columns_ == CalibrationColumns::ChannelStarts) {
        row.end.reset();
        row.sens.reset();
        row.sensUnit.reset();
        row.freq.reset();
        row.freqUnit.reset();
        return true;
    }
    row.end = st.getTimestamp(6);
    row.sens = st.getDouble(7);
    row.sensUnit = st.getInteger(8);
    row.freq = st.getDouble(9);
    row.freqUnit = st.getInteger(10);
    if (columns_ == CalibrationColumns::EpochsWithTexts ||
        columns_ == CalibrationColumns::EpochsWithTextsAndUnits) {
        row.sac = storedLines(st.getText(11).value_or(""));
        row.fap = storedLines(st.getText(12).value_or(""));
    }
    if (columns_ == CalibrationColumns::EpochsWithTextsAndUnits)
        if (std::optional<std::string> unit = st.getText(13))
            row.freqUnitName = orv::text::trim(*unit);
    return true;
}

namespace {

bool differs(std::optional<double> stored, double value) {
    return !stored || std::abs(*stored - value) > 1e-9 * std::max(1.0, std::abs(value));
}

// The component of a channel within its group: Z 0, N or 1 1, E or 2 2, else 3.
long componentOf(const std::string& channel) {
    const char c = channel.empty() ? ' ' : channel.back();
    if (c == 'Z')
        return 0;
    if (c == 'N' || c == '1')
        return 1;
    if (c == 'E' || c == '2')
        return 2;
    return 3;
}

// The station's SITE row: made when it has none, else compared with the document.
bool ensureSite(odbc::Connection& connection, const StationRows& r, std::vector<std::string>& notes,
                std::string& diagnostic) {
    using odbc::Parameter;
    odbc::Statement st(connection);
    if (!odbc::isSuccess(st.run(sql::kImportSite, {Parameter::code(r.station)}))) {
        diagnostic = st.diagnostic();
        return false;
    }
    if (odbc::isSuccess(st.fetch())) {
        const auto lat = st.getDouble(1), lon = st.getDouble(2), elev = st.getDouble(3);
        if (differs(lat, r.latitude) || differs(lon, r.longitude) || differs(elev, r.elevation))
            notes.push_back("SITE " + r.station + " differs from the document: kept as it is");
    } else {
        st.closeCursor();
        odbc::Statement insert(connection);
        const std::vector<Parameter> p = {
            Parameter::code(r.station),     Parameter::number(r.latitude),
            Parameter::number(r.longitude), Parameter::number(r.elevation),
            Parameter::text(r.siteName),    Parameter::text(r.description)};
        if (!odbc::isSuccess(insert.run(sql::kImportInsertSite, p))) {
            diagnostic = insert.diagnostic();
            return false;
        }
        for (const auto& [date, sql] :
             {std::pair{r.on, sql::kImportSiteOnDate}, std::pair{r.off, sql::kImportSiteOffDate}}) {
            if (!date)
                continue;
            odbc::Statement update(connection);
            if (!odbc::isSuccess(
                    update.run(sql, {Parameter::date(*date), Parameter::code(r.station)}))) {
                diagnostic = update.diagnostic();
                return false;
            }
        }
        notes.push_back("SITE " + r.station + " made");
    }
    return true;
}

// The channel's SITECHAN row: made when it has none (in the group of its location and
// band), else compared with the document.
bool ensureSiteChan(odbc::Connection& connection, const StationRows& r,
                    std::vector<std::string>& notes, std::string& diagnostic) {
    using odbc::Parameter;
    odbc::Statement st(connection);
    if (!odbc::isSuccess(st.run(sql::kImportSiteChans, {Parameter::code(r.station)}))) {
        diagnostic = st.diagnostic();
        return false;
    }
    // A channel joins the group of its location whose channels share its first two letters.
    // Every stored form of the empty location is the empty location.
    long group = 0, lastGroup = 0;
    const std::string prefix = r.channel.substr(0, 2);
    const std::string location = isEmptyLocation(r.location) ? std::string() : r.location;
    while (odbc::isSuccess(st.fetch())) {
        const std::string chan = readCode(st, 1), lcode = readLocation(st, 2);
        const long g = long(st.getInteger(3).value_or(0));
        const auto sps = st.getDouble(4);
        lastGroup = std::max(lastGroup, g);
        if (chan == r.channel && lcode == location) {
            if (r.sampleRate && differs(sps, *r.sampleRate))
                notes.push_back("SITECHAN " + r.station + " " + chan + " " + lcode +
                                " differs from the document: kept as it is");
            return true;
        }
        if (lcode == location && chan.substr(0, 2) == prefix)
            group = g;
    }
    st.closeCursor();
    if (group == 0)
        group = lastGroup + 1;
    const bool edeph = depthIsEdeph(connection);
    odbc::Statement insert(connection);
    const std::vector<Parameter> p = {Parameter::code(r.station),
                                      Parameter::code(r.channel),
                                      Parameter::integer(group),
                                      Parameter::integer(componentOf(r.channel)),
                                      Parameter::number(r.depth),
                                      Parameter::number(r.channelLatitude),
                                      Parameter::number(r.channelLongitude),
                                      Parameter::number(r.sampleRate.value_or(0)),
                                      Parameter::text(r.sensor),
                                      Parameter::code(location)};
    if (!odbc::isSuccess(insert.run(
            edeph ? sql::kImportInsertSiteChanEdeph : sql::kImportInsertSiteChanEdepth, p))) {
        diagnostic = insert.diagnostic();
        return false;
    }
    notes.push_back("SITECHAN " + r.station + " " + r.channel + " " + r.location + " made");
    return true;
}

} // namespace

bool ensureStationRows(odbc::Connection& connection, const StationRows& r,
                       std::vector<std::string>& notes, std::string& diagnostic) {
    if (!connection.tableExists("SITE") || !connection.tableExists("SITECHAN")) {
        diagnostic = "the database has no SITE or SITECHAN table";
        return false;
    }
    return ensureSite(connection, r, notes, diagnostic) &&
           ensureSiteChan(connection, r, notes, diagnostic);
}

} // namespace orv::gainbook
