// "Записать в БД": the SITE row by a literal statement, then the channels in one
// transaction with the clean-up of the rows no longer shown.
#include "core/messages.h"
#include "core/records.h"
#include "core/sql.h"
#include "core/stationdlg.h"
#include "text/text.h"

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

using Columns = std::vector<std::pair<const char*, std::string>>;

std::string numberLiteral(std::optional<double> value) {
    return value ? shortestText(*value) : std::string("NULL");
}

std::string textLiteral(const std::string& text) {
    std::string literal = "'";
    literal += sqlText(text);
    literal += '\'';
    return literal;
}

std::string dateLiteral(const std::string& date) {
    return "{ts '" + date + "'}";
}

// The SITE columns in statement order, each with its value as it stands in the statement.
Columns siteColumns(const StationState& s, const std::string& ondate, const std::string& offdate,
                    const std::string& loadDate, int nindex) {
    Columns columns = {{"NINDEX", format("%d", nindex)},
                       {"NGROUPS", format("%d", s.ngroups)},
                       {"LAT", numberLiteral(s.lat)},
                       {"LON", numberLiteral(s.lon)},
                       {"ELEV", numberLiteral(s.elev)},
                       {"DESCR", textLiteral(orv::text::replaceAll(s.descr, "'", "`"))},
                       {"STANAME", textLiteral(orv::text::replaceAll(s.staname, "'", "`"))},
                       {"COD", textLiteral(s.cod)}};
    if (!ondate.empty())
        columns.emplace_back("ONDATE", dateLiteral(ondate));
    if (!offdate.empty())
        columns.emplace_back("OFFDATE", dateLiteral(offdate));
    columns.emplace_back("REFSTA", textLiteral(s.refsta));
    columns.emplace_back("DEAST", numberLiteral(s.deast));
    columns.emplace_back("DNORTH", numberLiteral(s.dnorth));
    columns.emplace_back("UNDERGROUND", textLiteral(s.underground));
    columns.emplace_back("LDDATE", dateLiteral(loadDate));
    return columns;
}

std::string siteStatement(const Columns& columns, const std::string& code, bool exists) {
    std::string names, values, assignments;
    for (const auto& [name, value] : columns) {
        const char* comma = names.empty() ? "" : ",";
        names.append(comma).append(name);
        values.append(comma).append(value);
        assignments.append(comma).append(name).append("=").append(value);
    }
    if (exists)
        return format(sql::kSiteUpdate, assignments.c_str(), sqlText(code).c_str());
    names += ",STA";
    values.append(",").append(textLiteral(code));
    return format(sql::kSiteInsert, names.c_str(), values.c_str());
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
    if (!runSiteStatement(*connection, siteStatement(columns, site->code, site->exists)))
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

bool CStationDlg::runSiteStatement(orv::odbc::Connection& connection,
                                   const std::string& statement) {
    orv::odbc::Statement st(connection);
    if (st.valid() && !orv::odbc::isError(st.execDirect(statement)))
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
    try {
        const std::vector<std::string> written = writeChannelRows(connection, code);
        if (cleanUpGroups) {
            std::string cleanup =
                format(sql::kChannelCleanup, sqlText(code).c_str(), *cleanUpGroups);
            for (const std::string& name : written)
                cleanup += format(sql::kChannelCleanupKeep, sqlText(name).c_str());
            orv::odbc::Statement st(connection);
            if (!st.valid())
                throwDatabaseError(nullptr, connection);
            if (orv::odbc::isError(st.execDirect(cleanup)))
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
    chan.setFilter(format(sql::kFilterChannel, sqlText(code).c_str(), sqlText(name).c_str(), group,
                          component));
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
