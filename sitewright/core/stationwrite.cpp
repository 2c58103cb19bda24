// "Записать в БД": the SITE row, then the channels in one
// transaction with the clean-up of the rows no longer shown.
#include "core/messages.h"
#include "core/records.h"
#include "core/sql.h"
#include "core/stationdlg.h"
#include "text/text.h"

#include <cfloat>
#include <cmath>
#include <utility>

namespace orv::sitewright {

using orv::text::format;
using orv::ui::Buttons;
using orv::ui::Icon;

// What a write puts into the SITE row besides the dialog's values.
struct CStationDlg::SiteWrite {
    std::string code;
    int nindex = 0;
    std::string ondate, offdate; // normalised; empty: not written
    std::string loadDate;
    bool exists = false; // the statement is an update
    bool copy = false;   // written under a copy's new code
};

namespace {

// One SITE column: its value as it stands in the statement, and the text bound to it
// where that is a marker.
struct SiteColumn {
    const char* name;
    std::string value;
    std::optional<std::string> text;
};
using Columns = std::vector<SiteColumn>;

std::string numberLiteral(std::optional<double> value) {
    return value ? shortestText(*value) : std::string("NULL");
}

// A single-precision column's value: the shortest text that reads back as the same
// single-precision number, where the value is one ("55.7512", not 55.75120162963867).
std::string singleLiteral(std::optional<double> value) {
    if (value && std::fabs(*value) <= FLT_MAX) {
        const auto single = static_cast<float>(*value);
        if (static_cast<double>(single) == *value)
            return shortestText(single);
    }
    return numberLiteral(value);
}

SiteColumn number(const char* name, std::string literal) {
    return {name, std::move(literal), std::nullopt};
}

SiteColumn text(const char* name, std::string value) {
    return {name, "?", std::move(value)};
}

std::string dateLiteral(const std::string& date) {
    return "{ts '" + date + "'}";
}

// The SITE columns in statement order.
Columns siteColumns(const StationState& s, const std::string& ondate, const std::string& offdate,
                    const std::string& loadDate, int nindex) {
    Columns columns = {number("NINDEX", format("%d", nindex)),
                       number("NGROUPS", format("%d", s.ngroups)),
                       number("LAT", singleLiteral(s.lat)),
                       number("LON", singleLiteral(s.lon)),
                       number("ELEV", singleLiteral(s.elev)),
                       text("DESCR", orv::text::replaceAll(s.descr, "'", "`")),
                       text("STANAME", orv::text::replaceAll(s.staname, "'", "`")),
                       text("COD", s.cod)};
    if (!ondate.empty())
        columns.push_back(number("ONDATE", dateLiteral(ondate)));
    if (!offdate.empty())
        columns.push_back(number("OFFDATE", dateLiteral(offdate)));
    columns.push_back(text("REFSTA", s.refsta));
    columns.push_back(number("DEAST", numberLiteral(s.deast)));
    columns.push_back(number("DNORTH", numberLiteral(s.dnorth)));
    columns.push_back(text("UNDERGROUND", s.underground));
    columns.push_back(number("LDDATE", dateLiteral(loadDate)));
    return columns;
}

// The statement and the values of its markers.
std::pair<std::string, std::vector<orv::odbc::Parameter>>
siteStatement(const Columns& columns, const std::string& code, bool exists) {
    std::string names, values, assignments;
    std::vector<orv::odbc::Parameter> parameters;
    for (const SiteColumn& c : columns) {
        const char* comma = names.empty() ? "" : ",";
        names.append(comma).append(c.name);
        values.append(comma).append(c.value);
        assignments.append(comma).append(c.name).append("=").append(c.value);
        if (c.text)
            parameters.push_back(orv::odbc::Parameter::text(*c.text));
    }
    parameters.push_back(orv::odbc::Parameter::text(code));
    if (exists)
        return {format(sql::kSiteUpdate, assignments.c_str()), std::move(parameters)};
    names += ",STA";
    values += ",?";
    return {format(sql::kSiteInsert, names.c_str(), values.c_str()), std::move(parameters)};
}

} // namespace

void CStationDlg::onWrite() {
    if (!takeValues())
        return;
    auto connection = openOperationConnection(ctx_.settings);
    if (!connection) {
        ctx_.ui->message(msg::kInitError, {}, Icon::None, Buttons::Ok);
        return;
    }
    const std::optional<SiteWrite> site = prepareSiteWrite(*connection);
    if (!site)
        return;
    const Columns columns =
        siteColumns(state_, site->ondate, site->offdate, site->loadDate, site->nindex);
    const auto [statement, parameters] = siteStatement(columns, site->code, site->exists);
    if (!runSiteStatement(*connection, statement, parameters))
        return;
    // Channels the look-up could not read are left as they are; a new station's and a
    // copy's are written without removing rows nobody was shown.
    const bool withChannels = channels_ != ChannelsShown::Unread;
    const bool cleanUp = channels_ == ChannelsShown::Read && !site->copy;
    if (withChannels && !writeChannels(*connection, site->code,
                                       cleanUp ? std::optional(groupsRead_) : std::nullopt))
        return;
    ctx_.ui->message(
        format(withChannels ? msg::kWritten : msg::kWrittenWithoutChannels, site->code.c_str()), {},
        withChannels ? Icon::None : Icon::Exclamation, Buttons::Ok);
    connection.reset();
    showWritten(site->code);
}

// A date-time that is no date, or one that does not exist, is named in the message and
// gets the focus.
bool CStationDlg::takeDate(const std::string& typed, const orv::odbc::Timestamp& defaults,
                           int currentYear, ControlId field, std::string& into) {
    into.clear();
    if (typed.empty())
        return true;
    const NormalisedDate n = normaliseDateTime(typed, defaults, currentYear);
    if (!n.valid) {
        const char* name = field.kind == ControlId::Kind::Ondate ? "ondate" : "offdate";
        ctx_.ui->error(format(msg::kDateError, name, n.text.c_str()));
        focus_ = field;
        return false;
    }
    into = n.text;
    return true;
}

// The dates, the code (a pending copy's, which is taken), the station number and whether
// the row exists; nullopt after saying why when a date is not valid.
std::optional<CStationDlg::SiteWrite>
CStationDlg::prepareSiteWrite(orv::odbc::Connection& connection) {
    const std::tm now = orv::text::localNow();
    const int year = now.tm_year + 1900;
    SiteWrite w;
    w.loadDate = orv::text::formatTime("%Y-%m-%d %H:%M:%S", now);
    if (!takeDate(state_.ondate, {1900, 1, 1, 0, 0, 0}, year, {ControlId::Kind::Ondate},
                  w.ondate) ||
        !takeDate(state_.offdate, {1970, 1, 1, 0, 0, 0}, year, {ControlId::Kind::Offdate},
                  w.offdate))
        return std::nullopt;
    w.code = controls_.sta;
    w.nindex = state_.nindex;
    w.copy = pendingCopy_.has_value();
    if (pendingCopy_) {
        w.code = *pendingCopy_;
        w.nindex = 0;
        pendingCopy_.reset();
    }
    if (w.nindex == 0)
        w.nindex = nextStationNumber(connection);
    orv::odbc::Connection& counter = ctx_.startupConnection ? *ctx_.startupConnection : connection;
    w.exists = stationCount(counter, "SITE", w.code);
    // An update fills what the closing date-time leaves out with ones.
    if (w.exists && !w.offdate.empty())
        w.offdate = normaliseDateTime(state_.offdate, {1970, 1, 1, 1, 1, 1}, year).text;
    return w;
}

bool CStationDlg::runSiteStatement(orv::odbc::Connection& connection, const std::string& statement,
                                   const std::vector<orv::odbc::Parameter>& parameters) {
    orv::odbc::Statement st(connection);
    if (st.valid() && !orv::odbc::isError(execDirect(st, statement, parameters)))
        return true;
    std::string why = st.valid() ? st.diagnostic() : std::string();
    showDatabaseError(why.empty() ? connection.diagnostic() : why);
    return false;
}

// The channel rows and, given the groups read, the clean-up, in one transaction.
bool CStationDlg::writeChannels(orv::odbc::Connection& connection, const std::string& code,
                                std::optional<int> cleanUpGroups) {
    orv::odbc::Transaction transaction(connection);
    if (!transaction.begun()) {
        ctx_.ui->message(msg::kBeginTransactionError, {}, Icon::None, Buttons::Ok);
        return false;
    }
    // Each channel row is looked up before it is written.
    if (!transaction.lockForWriting(sql::kChannelTable)) {
        showDatabaseError(transaction.diagnostic());
        return false;
    }
    try {
        const std::vector<std::string> written = writeChannelRows(connection, code);
        if (cleanUpGroups) {
            std::string cleanup = format(sql::kChannelCleanup, *cleanUpGroups);
            std::vector<orv::odbc::Parameter> parameters{orv::odbc::Parameter::text(code)};
            for (const std::string& name : written) {
                cleanup += sql::kChannelCleanupKeep;
                parameters.push_back(orv::odbc::Parameter::text(name));
            }
            orv::odbc::Statement st(connection);
            if (!st.valid())
                throwDatabaseError(nullptr, connection);
            if (orv::odbc::isError(execDirect(st, cleanup, parameters)))
                throwDatabaseError(&st, connection);
        }
        if (orv::odbc::isError(transaction.commit()))
            throw DatabaseError(transaction.diagnostic());
    } catch (const DatabaseError& e) {
        transaction.rollback();
        showDatabaseError(e.what());
        return false;
    }
    return true;
}

// Writes every named channel of the groups in use; returns the names written.
std::vector<std::string> CStationDlg::writeChannelRows(orv::odbc::Connection& connection,
                                                       const std::string& code) {
    std::vector<std::string> written;
    for (int g = 1; g <= kGroups && g <= state_.ngroups; ++g)
        for (int c = 0; c < kComponents; ++c) {
            const std::string& name = state_.chan[static_cast<std::size_t>(channelIndex(g, c))];
            if (name.empty())
                continue;
            writeChannelRow(connection, code, g, c);
            written.push_back(name);
        }
    return written;
}

void CStationDlg::writeChannelRow(orv::odbc::Connection& connection, const std::string& code,
                                  int group, int component) {
    const auto g = static_cast<std::size_t>(group - 1);
    const auto i = static_cast<std::size_t>(channelIndex(group, component));
    const std::string& name = state_.chan[i];
    CSiteChan chan(connection);
    chan.setFilter(sql::kFilterChannel,
                   {orv::odbc::Parameter::text(code), orv::odbc::Parameter::text(name),
                    orv::odbc::Parameter::integer(group),
                    orv::odbc::Parameter::integer(component)});
    chan.open();
    if (chan.isEOF())
        chan.addNew();
    else
        chan.edit();
    SiteChanRow& r = chan.editRow();
    r.sta = code;
    r.chan = name;
    r.ngroup = group;
    r.chanindex = component;
    r.sps = state_.sps[g].value_or(kNoValue);
    r.hang = 0;
    r.vang = 0;
    r.calibfile = controls_.responseFile[i];
    r.lddate = orv::odbc::Timestamp::now();
    r.lcode = state_.lcode[g];
    r.descr = state_.sensor[g];
    chan.update();
    chan.close();
}

// After a write: the lists refilled and the station written shown, selected in the list.
void CStationDlg::showWritten(const std::string& code) {
    fillLists();
    controls_.staSelection = findStation(code);
    controls_.sta = code;
    state_.sta = code;
    lookUp(code);
    refresh();
}

} // namespace orv::sitewright
