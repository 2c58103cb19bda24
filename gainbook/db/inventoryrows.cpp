#include "inventoryrows.h"

#include "connection.h"
#include "inventorystatements.h"
#include "text/text.h"

namespace orv::gainbook {

namespace {

// A stored response text with its line breaks: "|" (how inserts store a break) and "\n"
// become "\r\n", as the database panel shows them; tabs become blanks.
std::string storedLines(const std::string& stored) {
    std::string out;
    out.reserve(stored.size() + stored.size() / 16);
    for (std::size_t i = 0; i < stored.size(); ++i) {
        const char c = stored[i];
        if (c == '\r' && i + 1 < stored.size() && stored[i + 1] == '\n')
            continue;
        if (c == '\n' || c == '|')
            out += "\r\n";
        else
            out += c == '\t' ? ' ' : c;
    }
    return out;
}

std::string readText(odbc::Statement& st, SQLUSMALLINT column) {
    return orv::text::decodeLegacy(st.getText(column).value_or(""));
}

} // namespace

std::string likePattern(std::string_view codePattern) {
    std::string out;
    for (const char c : codePattern) {
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

std::optional<std::vector<SiteRow>> readSites(odbc::Connection& connection,
                                              std::string& diagnostic) {
    std::vector<SiteRow> rows;
    if (!connection.tableExists("SITE"))
        return rows;
    odbc::Statement st(connection);
    if (!odbc::isSuccess(st.execDirect(sql::kInventorySites))) {
        diagnostic = st.diagnostic();
        return std::nullopt;
    }
    while (odbc::isSuccess(st.fetch())) {
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
    }
    return rows;
}

std::optional<std::vector<SiteChanRow>> readSiteChans(odbc::Connection& connection,
                                                      std::string& diagnostic) {
    std::vector<SiteChanRow> rows;
    if (!connection.tableExists("SITECHAN"))
        return rows;
    const bool lcode = connection.columnExists("SITECHAN", "LCODE");
    const bool edeph = connection.columnExists("SITECHAN", "EDEPH");
    const char* sql = lcode
                          ? (edeph ? sql::kInventorySiteChansEdeph : sql::kInventorySiteChansEdepth)
                          : (edeph ? sql::kInventorySiteChansNoLcodeEdeph
                                   : sql::kInventorySiteChansNoLcodeEdepth);
    odbc::Statement st(connection);
    if (!odbc::isSuccess(st.execDirect(sql))) {
        diagnostic = st.diagnostic();
        return std::nullopt;
    }
    while (odbc::isSuccess(st.fetch())) {
        SiteChanRow r;
        r.station = readCode(st, 1);
        r.channel = readCode(st, 2);
        r.location = readCode(st, 3);
        r.depth = st.getDouble(4);
        r.latitude = st.getDouble(5);
        r.longitude = st.getDouble(6);
        r.sampleRate = st.getDouble(7);
        r.description = readText(st, 8);
        rows.push_back(std::move(r));
    }
    return rows;
}

std::optional<std::set<std::string>> stationsWithResponses(odbc::Connection& connection,
                                                           std::string& diagnostic) {
    odbc::Statement st(connection);
    if (!odbc::isSuccess(st.execDirect(sql::kInventoryStationsWithResponses))) {
        diagnostic = st.diagnostic();
        return std::nullopt;
    }
    std::set<std::string> out;
    while (odbc::isSuccess(st.fetch()))
        out.insert(readCode(st, 1));
    return out;
}

namespace {

std::map<long long, std::string> readUnits(odbc::Connection& connection, const char* table,
                                           const char* sql) {
    std::map<long long, std::string> out;
    if (!connection.tableExists(table))
        return out;
    odbc::Statement st(connection);
    if (!odbc::isSuccess(st.execDirect(sql)))
        return out;
    while (odbc::isSuccess(st.fetch())) {
        const auto id = st.getInteger(1);
        if (id)
            out[*id] = orv::text::trim(st.getText(2).value_or(""));
    }
    return out;
}

} // namespace

std::map<long long, std::string> readSensUnits(odbc::Connection& connection) {
    return readUnits(connection, "ID_SENS", sql::kInventorySensUnits);
}

std::map<long long, std::string> readFreqUnits(odbc::Connection& connection) {
    return readUnits(connection, "ID_FREQ", sql::kInventoryFreqUnits);
}

namespace {

// The conditions of a filter, appended to sql, and their parameters.
void appendConditions(const CalibrationFilter& filter, std::string& sql,
                      std::vector<odbc::Parameter>& parameters) {
    auto codes = [&](const std::vector<std::string>& items, const char* condition) {
        if (items.empty())
            return;
        sql += " AND (";
        for (std::size_t i = 0; i < items.size(); ++i) {
            if (i > 0)
                sql += " OR ";
            sql += condition;
            parameters.push_back(odbc::Parameter::text(likePattern(items[i])));
        }
        sql += ")";
    };
    codes(filter.networks, sql::kLikeNetwork);
    codes(filter.stations, sql::kLikeStation);
    codes(filter.locations, sql::kLikeLocation);
    codes(filter.channels, sql::kLikeChannel);
    if (filter.start) {
        sql += sql::kEndsAfter;
        parameters.push_back(odbc::Parameter::date(*filter.start));
    }
    if (filter.end) {
        sql += sql::kStartsBefore;
        parameters.push_back(odbc::Parameter::date(*filter.end));
    }
}

} // namespace

std::optional<std::vector<FirstStart>> firstStarts(odbc::Connection& connection,
                                                   const CalibrationFilter& filter,
                                                   std::string& diagnostic) {
    std::string sql = sql::kInventoryFirstStartsHead;
    std::vector<odbc::Parameter> parameters;
    appendConditions(filter, sql, parameters);
    sql += sql::kInventoryFirstStartsGroup;
    odbc::Statement st(connection);
    if (!odbc::isSuccess(st.run(sql, parameters))) {
        diagnostic = st.diagnostic();
        return std::nullopt;
    }
    std::vector<FirstStart> out;
    while (odbc::isSuccess(st.fetch()))
        out.push_back(
            {readCode(st, 1), readCode(st, 2), st.getTimestamp(3).value_or(odbc::Timestamp{})});
    return out;
}

CalibrationCursor::CalibrationCursor(odbc::Connection& connection, const CalibrationFilter& filter,
                                     bool withTexts)
    : statement_(connection), withTexts_(withTexts) {
    std::string sql = withTexts ? sql::kInventoryRowsWithTextsHead : sql::kInventoryRowsHead;
    std::vector<odbc::Parameter> parameters;
    appendConditions(filter, sql, parameters);
    sql += sql::kInventoryRowsOrder;
    if (!statement_.valid()) {
        diagnostic_ = "no statement could be allocated";
        return;
    }
    if (!odbc::isSuccess(statement_.run(sql, parameters))) {
        diagnostic_ = statement_.diagnostic();
        return;
    }
    ok_ = true;
}

bool CalibrationCursor::next(CalibrationRow& row) {
    if (!ok_)
        return false;
    const SQLRETURN rc = statement_.fetch();
    if (rc == SQL_NO_DATA)
        return false;
    if (!odbc::isSuccess(rc)) {
        ok_ = false;
        diagnostic_ = statement_.diagnostic();
        return false;
    }
    row.network = readCode(statement_, 1);
    row.station = readCode(statement_, 2);
    row.location = readCode(statement_, 3);
    row.channel = readCode(statement_, 4);
    row.start = statement_.getTimestamp(5).value_or(odbc::Timestamp{});
    row.end = statement_.getTimestamp(6);
    row.sens = statement_.getDouble(7);
    row.sensUnit = statement_.getInteger(8);
    row.freq = statement_.getDouble(9);
    row.freqUnit = statement_.getInteger(10);
    row.sac.clear();
    row.fap.clear();
    if (withTexts_) {
        row.sac = storedLines(statement_.getText(11).value_or(""));
        row.fap = storedLines(statement_.getText(12).value_or(""));
    }
    return true;
}

} // namespace orv::gainbook
