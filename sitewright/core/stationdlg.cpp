#include "core/stationdlg.h"

#include "core/messages.h"
#include "core/records.h"
#include "core/sql.h"
#include "text/text.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>

namespace orv::sitewright {

using orv::text::format;
using orv::ui::Buttons;
using orv::ui::Icon;
using Kind = ControlId::Kind;

namespace {

const char* const kDefaultChannels[kChannels] = {"BLZ", "BLN", "BLE", "BHZ", "BHN", "BHE", "ELZ",
                                                 "ELN", "ELE", "EHZ", "EHN", "EHE", "",    "",
                                                 "",    "",    "",    "",    "",    "",    ""};
const char* const kDefaultSps[kGroups] = {"20", "20", "100", "100", "", "", ""};

std::string replaceMarker(std::string text, const char* marker, const std::string& value) {
    return orv::text::replaceAll(text, marker, value);
}

std::string formatFloat(float value) {
    if (std::isnan(value))
        return {};
    return format("%.6g", static_cast<double>(value));
}

std::string nowText() {
    return orv::text::formatTime("%Y-%m-%d %H:%M:%S", orv::text::localNow());
}

} // namespace

const std::vector<std::string>& locationCodes() {
    static const std::vector<std::string> codes = {"??", "00", "10", "XX"};
    return codes;
}

NormalisedDate normaliseDateTime(const std::string& typed, const orv::odbc::Timestamp& d,
                                 int currentYear) {
    int y = d.year, mo = d.month, da = d.day, h = d.hour, mi = d.minute, s = d.second;
    std::sscanf(typed.c_str(), "%04d-%02d-%02d %02d:%02d:%02d", &y, &mo, &da, &h, &mi, &s);
    NormalisedDate n;
    n.text = format("%04d-%02d-%02d %02d:%02d:%02d", y, mo, da, h, mi, s);
    n.valid = y >= 1900 && y <= currentYear && mo >= 1 && mo <= 12 && da >= 1 && da <= 31 &&
              h >= 0 && h <= 23 && mi >= 0 && mi <= 59 && s >= 0 && s <= 59;
    return n;
}

int nextStationNumber(orv::odbc::Connection& connection) {
    orv::odbc::Statement st(connection);
    if (!st.valid() || !orv::odbc::isSuccess(st.execDirect(sql::kNextStationNumber)))
        return 0;
    if (!orv::odbc::isSuccess(st.fetch()))
        return 0;
    // An empty table gives no maximum: the first station gets number 1.
    return static_cast<int>(st.getInteger(1).value_or(1));
}

bool CCopyStationDlg::accept(orv::ui::Interaction& ui) const {
    if (orv::text::length(code_) > 8) {
        ui.message(replaceMarker(msg::kMaxChars, "%1", "8"), {}, Icon::Exclamation, Buttons::Ok);
        return false;
    }
    return true;
}

// --- CStationDlg ---------------------------------------------------------------------

CStationDlg::CStationDlg(DialogContext context, std::string requestedStation)
    : ctx_(std::move(context)), requested_(std::move(requestedStation)) {}

std::string CStationDlg::title() const {
    return format(msg::kTitle, ctx_.settings.dsn.c_str(), ctx_.settings.user.c_str());
}

std::optional<ControlId> CStationDlg::takeFocus() {
    auto f = focus_;
    focus_.reset();
    return f;
}

void CStationDlg::showDatabaseError(const std::string& why) {
    ctx_.ui->error(why);
}

void CStationDlg::open() {
    fillLists();
    state_.sta = requested_;
    controls_.sta = requested_;
    lookUp(requested_);
    refresh();
}

int CStationDlg::findStation(const std::string& text) const {
    for (std::size_t i = 0; i < controls_.staList.size(); ++i)
        if (orv::text::startsWithNoCase(controls_.staList[i], text))
            return static_cast<int>(i);
    return -1;
}

void CStationDlg::fillLists() {
    auto connection = openOperationConnection(ctx_.settings);
    if (!connection) {
        ctx_.ui->message(msg::kInitError, {}, Icon::None, Buttons::Ok);
        return;
    }
    std::vector<std::string> stations;
    try {
        CSite site(*connection);
        site.open();
        for (; !site.isEOF(); site.moveNext())
            stations.push_back(site.row().sta);
    } catch (const DatabaseError& e) {
        showDatabaseError(e.what());
        return;
    }
    // The lists show what the table holds: after the last station is deleted they are
    // empty rather than still offering it.
    std::sort(stations.begin(), stations.end());
    controls_.staList = stations;
    controls_.refstaList = stations;
    controls_.staSelection = -1;
}

void CStationDlg::onStationTextChanged(const std::string& text) {
    controls_.sta = text;
    state_.sta = text;
    lookUp(text);
    refresh();
}

void CStationDlg::onStationSelected(int index) {
    if (index < 0 || index >= static_cast<int>(controls_.staList.size()))
        index = findStation(controls_.sta);
    if (index < 0)
        return;
    controls_.staSelection = index;
    controls_.sta = controls_.staList[static_cast<std::size_t>(index)];
    state_.sta = controls_.sta;
    lookUp(state_.sta);
    refresh();
}

void CStationDlg::onGroupCountChanged(const std::string& text) {
    controls_.ngroups = text;
    if (text.empty())
        return;
    const int n = orv::text::toInt(text);
    if (n >= 1 && n <= kGroups) {
        state_.ngroups = n;
        applyGroupEnabling();
    } else {
        state_.ngroups = 0;
        controls_.ngroups.clear();
    }
}

void CStationDlg::applyGroupEnabling() {
    const int n = state_.ngroups;
    if (n <= 0)
        return;
    for (int i = 0; i < kChannels; ++i)
        controls_.chanEnabled[static_cast<std::size_t>(i)] = i < 3 * n;
    for (int g = 0; g < kGroups; ++g)
        controls_.groupEnabled[static_cast<std::size_t>(g)] = g < n;
}

void CStationDlg::applyNewStationDefaults(orv::odbc::Connection& connection) {
    for (int i = 0; i < kChannels; ++i)
        state_.chan[static_cast<std::size_t>(i)] = kDefaultChannels[i];
    for (int g = 0; g < kGroups; ++g)
        state_.sps[static_cast<std::size_t>(g)] = kDefaultSps[g];
    state_.ngroups = 4;
    state_.lat = 45;
    state_.lon = 45;
    state_.elev = 0;
    state_.ondate = nowText();
    state_.offdate.clear();
    state_.nindex = nextStationNumber(connection);
}

void CStationDlg::lookUp(const std::string& code) {
    state_.refsta.clear();
    state_.dnorth.clear();
    state_.deast.clear();
    state_.descr.clear();
    state_.staname.clear();
    state_.cod.clear();
    state_.underground.clear();
    state_.chan.fill({});
    state_.sps.fill({});
    state_.sensor.fill({});
    state_.lcode.fill({});
    // A station does not inherit the response files of the one shown before.
    controls_.responseFile.fill({});

    auto connection = openOperationConnection(ctx_.settings);
    if (!connection) {
        ctx_.ui->message(msg::kInitError, {}, Icon::None, Buttons::Ok);
        return;
    }
    try {
        CSite site(*connection);
        site.setFilter(format(sql::kFilterStation, sqlText(code).c_str()));
        site.open();
        if (site.isEOF()) {
            applyNewStationDefaults(*connection);
            applyGroupEnabling();
            return;
        }
        const SiteRow& r = site.row();
        auto widen = [](double v) {
            return v == kNoValue ? std::numeric_limits<float>::quiet_NaN() : static_cast<float>(v);
        };
        state_.ngroups = r.ngroups;
        state_.elev = widen(r.elev);
        state_.lat = widen(r.lat);
        state_.lon = widen(r.lon);
        state_.nindex = r.nindex;
        state_.refsta = r.refsta;
        state_.staname = r.staname;
        state_.cod = r.cod;
        state_.descr = r.descr;
        state_.underground = r.underground;
        state_.ondate = r.ondate;
        state_.offdate = r.offdate;
        state_.deast = r.deast == kNoValue ? std::string() : format("%.3f", r.deast);
        state_.dnorth = r.dnorth == kNoValue ? std::string() : format("%.3f", r.dnorth);
        site.close();

        // Channels are read where the channel table exists; without it the station's
        // SITE row still shows.
        if (connection->tableExists("SITECHAN"))
            for (int g = 1; g <= state_.ngroups && g <= kGroups; ++g)
                loadGroup(*connection, g);
    } catch (const DatabaseError& e) {
        showDatabaseError(e.what());
    }
    connection.reset();
    controls_.ondate = state_.ondate;
    controls_.offdate = state_.offdate;
    applyGroupEnabling();
}

void CStationDlg::loadGroup(orv::odbc::Connection& connection, int group) {
    const auto g = static_cast<std::size_t>(group - 1);
    CSiteChan chan(connection);
    chan.setFilter(format(sql::kFilterGroup, sqlText(state_.sta).c_str(), group));
    chan.open();
    for (; !chan.isEOF(); chan.moveNext()) {
        const SiteChanRow& r = chan.row();
        if (r.chanindex >= 0 && r.chanindex <= 2) {
            const auto i = static_cast<std::size_t>(channelIndex(group, r.chanindex));
            controls_.responseFile[i] = r.calibfile;
            state_.chan[i] = r.chan;
            state_.lcode[g] = r.lcode;
            state_.sensor[g] = r.descr;
        }
        if (r.sps == kNoValue)
            state_.sps[g].clear();
        else if (std::floor(r.sps) == r.sps)
            state_.sps[g] = format("%0.0f", r.sps);
        else
            state_.sps[g] = format("%0.4f", r.sps);
        if (state_.lcode[g].empty())
            state_.lcode[g] = "??";
    }
    chan.close();
}

void CStationDlg::refresh() {
    StationControls& c = controls_;
    const StationState& s = state_;
    c.sta = s.sta;
    c.cod = s.cod;
    c.lat = formatFloat(s.lat);
    c.lon = formatFloat(s.lon);
    c.elev = formatFloat(s.elev);
    c.nindex = format("%d", s.nindex);
    c.ngroups = format("%d", s.ngroups);
    c.descr = s.descr;
    c.staname = s.staname;
    c.underground = s.underground;
    c.ondate = s.ondate;
    c.offdate = s.offdate;
    c.refsta = s.refsta;
    c.dnorth = s.dnorth;
    c.deast = s.deast;
    c.chan = s.chan;
    c.lcode = s.lcode;
    c.sps = s.sps;
    c.sensor = s.sensor;
}

bool CStationDlg::takeValues() {
    StationState s = state_;
    auto fail = [&](ControlId id, std::string message) {
        ctx_.ui->message(message, {}, Icon::Exclamation, Buttons::Ok);
        focus_ = id;
        return false;
    };
    auto maxChars = [&](const std::string& text, std::size_t limit, ControlId id,
                        std::string& into) {
        if (orv::text::length(text) > limit)
            return fail(id, replaceMarker(msg::kMaxChars, "%1", std::to_string(limit)));
        into = text;
        return true;
    };
    auto number = [&](const std::string& text, ControlId id, float& into,
                      std::optional<std::pair<double, double>> range) {
        double v = 0;
        if (!orv::text::parseDouble(text, v))
            return fail(id, msg::kNumber);
        const float f = static_cast<float>(v);
        if (range && (f < range->first || f > range->second))
            return fail(id, replaceMarker(replaceMarker(msg::kNumberRange, "%1",
                                                        format("%.6g", range->first)),
                                          "%2", format("%.6g", range->second)));
        into = f;
        return true;
    };
    auto integer = [&](const std::string& text, ControlId id, int& into,
                       std::optional<std::pair<int, int>> range) {
        long long v = 0;
        if (!orv::text::parseInt(text, v) || v < std::numeric_limits<int>::min() ||
            v > std::numeric_limits<int>::max())
            return fail(id, msg::kInteger);
        if (range && (v < range->first || v > range->second))
            return fail(id, replaceMarker(replaceMarker(msg::kIntegerRange, "%1",
                                                        std::to_string(range->first)),
                                          "%2", std::to_string(range->second)));
        into = static_cast<int>(v);
        return true;
    };
    const StationControls& c = controls_;
    for (int i = 0; i < kChannels; ++i) {
        const auto k = static_cast<std::size_t>(i);
        if (!maxChars(c.chan[k], 6, {Kind::Channel, i}, s.chan[k]))
            return false;
    }
    if (!number(c.elev, {Kind::Elev}, s.elev, std::nullopt) ||
        !number(c.lat, {Kind::Lat}, s.lat, std::pair{-180.0, 180.0}) ||
        !number(c.lon, {Kind::Lon}, s.lon, std::pair{-180.0, 180.0}) ||
        !integer(c.ngroups, {Kind::Ngroups}, s.ngroups, std::pair{1, kGroups}) ||
        !maxChars(c.sta, 8, {Kind::Station}, s.sta) || !maxChars(c.cod, 8, {Kind::Cod}, s.cod))
        return false;
    s.sps = c.sps;
    if (!integer(c.nindex, {Kind::Nindex}, s.nindex, std::nullopt))
        return false;
    s.lcode = c.lcode;
    s.refsta = c.refsta;
    s.dnorth = c.dnorth;
    s.deast = c.deast;
    if (!maxChars(c.descr, 50, {Kind::Descr}, s.descr) ||
        !maxChars(c.staname, 50, {Kind::Staname}, s.staname) ||
        !maxChars(c.underground, 250, {Kind::Underground}, s.underground) ||
        !maxChars(c.ondate, 50, {Kind::Ondate}, s.ondate) ||
        !maxChars(c.offdate, 50, {Kind::Offdate}, s.offdate))
        return false;
    s.sensor = c.sensor;
    state_ = s;
    return true;
}

// --- writing ---------------------------------------------------------------------------

void CStationDlg::writeChannels(orv::odbc::Connection& connection, const std::string& code) {
    std::string cleanup = format(sql::kChannelCleanup, sqlText(code).c_str());
    for (int g = 1; g <= kGroups && g <= state_.ngroups; ++g) {
        const auto gi = static_cast<std::size_t>(g - 1);
        for (int c = 0; c < kComponents; ++c) {
            const auto i = static_cast<std::size_t>(channelIndex(g, c));
            const std::string& name = state_.chan[i];
            if (name.empty())
                continue;
            CSiteChan chan(connection);
            chan.setFilter(
                format(sql::kFilterChannel, sqlText(code).c_str(), sqlText(name).c_str(), g, c));
            chan.open();
            if (chan.isEOF())
                chan.addNew();
            else
                chan.edit();
            SiteChanRow& r = chan.editRow();
            r.sta = code;
            r.chan = name;
            r.ngroup = g;
            r.chanindex = c;
            r.sps = orv::text::toDouble(state_.sps[gi]);
            r.hang = 0;
            r.vang = 0;
            r.calibfile = controls_.responseFile[i];
            r.lddate = orv::odbc::Timestamp::now();
            r.lcode = state_.lcode[gi];
            r.descr = state_.sensor[gi];
            chan.update();
            chan.close();
            cleanup += format(sql::kChannelCleanupKeep, sqlText(name).c_str());
        }
    }
    orv::odbc::Statement st(connection);
    if (!st.valid())
        throwDatabaseError(nullptr, connection);
    if (orv::odbc::isError(st.execDirect(cleanup)))
        throwDatabaseError(&st, connection);
}

void CStationDlg::onWrite() {
    if (!takeValues())
        return;
    auto connection = openOperationConnection(ctx_.settings);
    if (!connection) {
        ctx_.ui->message(msg::kInitError, {}, Icon::None, Buttons::Ok);
        return;
    }
    const std::tm now = orv::text::localNow();
    const std::string loadDate = orv::text::formatTime("%Y-%m-%d %H:%M:%S", now);
    const int currentYear = now.tm_year + 1900;

    std::string ondate, offdate;
    if (!state_.ondate.empty()) {
        const NormalisedDate n =
            normaliseDateTime(state_.ondate, {1900, 1, 1, 0, 0, 0}, currentYear);
        if (!n.valid) {
            ctx_.ui->error(format(msg::kDateError, "ondate", n.text.c_str()));
            return;
        }
        ondate = n.text;
    }
    if (!state_.offdate.empty()) {
        const NormalisedDate n =
            normaliseDateTime(state_.offdate, {1970, 1, 1, 0, 0, 0}, currentYear);
        if (!n.valid) {
            ctx_.ui->error(format(msg::kDateError, "offdate", n.text.c_str()));
            return;
        }
        offdate = n.text;
    }
    const std::string staname = orv::text::replaceAll(state_.staname, "'", "`");
    const std::string descr = orv::text::replaceAll(state_.descr, "'", "`");

    std::string code = controls_.sta;
    int nindex = state_.nindex;
    if (pendingCopy_) {
        code = *pendingCopy_;
        nindex = 0;
        pendingCopy_.reset();
    }
    if (nindex == 0)
        nindex = nextStationNumber(*connection);

    orv::odbc::Connection& counter = ctx_.startupConnection ? *ctx_.startupConnection : *connection;
    const bool exists = stationCount(counter, "SITE", code);
    if (exists && !offdate.empty())
        offdate = normaliseDateTime(state_.offdate, {1970, 1, 1, 1, 1, 1}, currentYear).text;

    const double lat = static_cast<double>(state_.lat);
    const double lon = static_cast<double>(state_.lon);
    const double elev = static_cast<double>(state_.elev);
    const double deast = orv::text::toDouble(state_.deast);
    const double dnorth = orv::text::toDouble(state_.dnorth);
    const std::string eDescr = sqlText(descr), eStaname = sqlText(staname),
                      eCod = sqlText(state_.cod), eRefsta = sqlText(state_.refsta),
                      eGround = sqlText(state_.underground), eCode = sqlText(code);
    const char *d = eDescr.c_str(), *n = eStaname.c_str(), *cod = eCod.c_str(),
               *ref = eRefsta.c_str(), *gr = eGround.c_str(), *sta = eCode.c_str(),
               *ld = loadDate.c_str(), *on = ondate.c_str(), *off = offdate.c_str();
    const int ng = state_.ngroups;
    std::string statement;
    const bool hasOn = !ondate.empty(), hasOff = !offdate.empty();
    if (!exists) {
        if (!hasOn && !hasOff)
            statement = format(sql::kSiteInsert, nindex, ng, lat, lon, elev, d, n, cod, ref, deast,
                               dnorth, gr, ld, sta);
        else if (!hasOn)
            statement = format(sql::kSiteInsertOff, nindex, ng, lat, lon, elev, d, n, cod, off, ref,
                               deast, dnorth, gr, ld, sta);
        else if (!hasOff)
            statement = format(sql::kSiteInsertOn, nindex, ng, lat, lon, elev, d, n, cod, on, ref,
                               deast, dnorth, gr, ld, sta);
        else
            statement = format(sql::kSiteInsertOnOff, nindex, ng, lat, lon, elev, d, n, cod, on,
                               off, ref, deast, dnorth, gr, ld, sta);
    } else {
        if (!hasOn && !hasOff)
            statement = format(sql::kSiteUpdate, nindex, ng, lat, lon, elev, d, n, cod, ref, deast,
                               dnorth, gr, ld, sta);
        else if (!hasOn)
            statement = format(sql::kSiteUpdateOff, nindex, ng, lat, lon, elev, d, n, cod, off, ref,
                               deast, dnorth, gr, ld, sta);
        else if (!hasOff)
            statement = format(sql::kSiteUpdateOn, nindex, ng, lat, lon, elev, d, n, cod, on, ref,
                               deast, dnorth, gr, ld, sta);
        else
            statement = format(sql::kSiteUpdateOnOff, nindex, ng, lat, lon, elev, d, n, cod, on,
                               off, ref, deast, dnorth, gr, ld, sta);
    }
    {
        orv::odbc::Statement st(*connection);
        if (!st.valid() || orv::odbc::isError(st.execDirect(statement))) {
            std::string why = st.valid() ? st.diagnostic() : connection->diagnostic();
            showDatabaseError(why.empty() ? connection->diagnostic() : why);
            return;
        }
    }
    {
        orv::odbc::Transaction transaction(*connection);
        if (!transaction.begun()) {
            ctx_.ui->message(msg::kBeginTransactionError, {}, Icon::None, Buttons::Ok);
            return;
        }
        try {
            writeChannels(*connection, code);
            if (orv::odbc::isError(transaction.commit()))
                throw DatabaseError(transaction.diagnostic());
        } catch (const DatabaseError& e) {
            transaction.rollback();
            showDatabaseError(e.what());
            return;
        }
    }
    ctx_.ui->message(format(msg::kWritten, code.c_str()), {}, Icon::None, Buttons::Ok);
    connection.reset();

    fillLists();
    controls_.staSelection = findStation(code);
    controls_.sta = code;
    state_.sta = code;
    lookUp(code);
    refresh();
}

// --- deleting and copying --------------------------------------------------------------

void CStationDlg::onDelete() {
    const std::string code = state_.sta;
    const int position = findStation(code);
    if (ctx_.ui->message(format(msg::kConfirmDelete, code.c_str()), msg::kAttention,
                         Icon::Exclamation, Buttons::OkCancel) != orv::ui::Answer::Ok)
        return;
    auto connection = openOperationConnection(ctx_.settings);
    if (!connection) {
        ctx_.ui->message(format(msg::kOpenError, connectString(ctx_.settings).c_str()), {},
                         Icon::None, Buttons::Ok);
        return;
    }
    auto runDeletion = [&](const std::string& statement) {
        orv::odbc::Transaction transaction(*connection);
        if (!transaction.begun()) {
            ctx_.ui->message(msg::kBeginTransactionError, {}, Icon::None, Buttons::Ok);
            return false;
        }
        orv::odbc::Statement st(*connection);
        if (!st.valid() || orv::odbc::isError(st.execDirect(statement)) ||
            orv::odbc::isError(transaction.commit())) {
            std::string why = st.valid() ? st.diagnostic() : std::string();
            if (why.empty())
                why = transaction.diagnostic();
            if (why.empty())
                why = connection->diagnostic();
            transaction.rollback();
            showDatabaseError(why);
            return false;
        }
        return true;
    };
    // A database whose channel table has not been created yet has no channels to delete.
    if (connection->tableExists("SITECHAN") &&
        !runDeletion(format(sql::kDeleteChannels, sqlText(code).c_str())))
        return;
    if (!runDeletion(format(sql::kDeleteSite, sqlText(code).c_str())))
        return;

    fillLists();
    const int next = position + 1;
    if (next >= 0 && next < static_cast<int>(controls_.staList.size())) {
        controls_.staSelection = next;
        controls_.sta = controls_.staList[static_cast<std::size_t>(next)];
    } else {
        controls_.staSelection = -1;
        controls_.sta.clear();
    }
    state_.sta = controls_.sta;
    lookUp(controls_.sta);
    connection.reset();
    refresh();
}

void CStationDlg::onCopy() {
    if (!copyPrompt_)
        return;
    const std::optional<std::string> code = copyPrompt_(controls_.sta);
    if (!code)
        return;
    if (code->empty()) {
        ctx_.ui->error(msg::kNoStationName);
        return;
    }
    if (ctx_.startupConnection && stationCount(*ctx_.startupConnection, "SITE", *code)) {
        ctx_.ui->error(format(msg::kStationExists, code->c_str()));
        return;
    }
    pendingCopy_ = *code;
    onWrite();
}

// --- the small buttons -----------------------------------------------------------------

void CStationDlg::onResponseButton(int group, int component) {
    const auto i = static_cast<std::size_t>(channelIndex(group, component));
    const auto g = static_cast<std::size_t>(group - 1);
    const std::string channel = state_.chan[i];
    const ResponseLinkSettings settings =
        readResponseLinkSettings(ctx_.localSettings, ctx_.systemSettings);
    if (settings.useDb) {
        std::error_code ec;
        const auto here = std::filesystem::current_path(ec);
        if (const auto program = findGainbook(settings, here)) {
            const std::string arguments =
                gainbookArguments(ctx_.settings, controls_.sta, channel, controls_.lcode[g]);
            std::vector<std::string> argv{*program};
            for (std::string& word : splitAtBlanks(arguments))
                argv.push_back(std::move(word));
            if (ctx_.launcher)
                ctx_.launcher->startDetached(*program, argv);
            return;
        }
    }
    orv::ui::FileChoice choice;
    choice.directory = responseDirectory(settings.baseDir);
    choice.filter = "All files|*.*||";
    choice.fileName = controls_.responseFile[i];
    choice.title = std::string(msg::kChooseResponse) + " (" + state_.sta + " " + channel + ")";
    if (const auto chosen = ctx_.ui->openFile(choice))
        controls_.responseFile[i] = std::filesystem::path(*chosen).filename().string();
}

} // namespace orv::sitewright
