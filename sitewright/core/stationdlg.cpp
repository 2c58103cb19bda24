#include "core/stationdlg.h"

#include "core/messages.h"
#include "core/records.h"
#include "core/sql.h"
#include "text/text.h"

#include <algorithm>
#include <cctype>
#include <cfloat>
#include <charconv>
#include <cmath>
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
const std::array<std::optional<double>, kGroups> kDefaultSps = {20, 20, 100, 100, {}, {}, {}};

std::string replaceMarker(std::string text, const char* marker, const std::string& value) {
    return orv::text::replaceAll(text, marker, value);
}

template <class Number> std::string shortestTextOf(Number value) {
    char text[64];
    const auto end = std::to_chars(text, text + sizeof text, value).ptr;
    return std::string(text, end);
}

// Whether a value fits a single-precision (REAL) column.
bool fitsSingle(double value) {
    return std::fabs(value) <= FLT_MAX;
}

std::string nowText() {
    return orv::text::formatTime("%Y-%m-%d %H:%M:%S", orv::text::localNow());
}

// How a number field is shown and read.
struct NumberRule {
    std::string (*show)(std::optional<double>);
    bool single;         // held in single precision
    bool emptyIsNoValue; // an empty field stores no value
    std::optional<std::pair<double, double>> range;
};
const NumberRule kCoordinateRule{showCoordinate, true, false, std::pair{-180.0, 180.0}};
const NumberRule kElevationRule{showCoordinate, true, false, std::nullopt};
const NumberRule kOffsetRule{showOffset, false, true, std::nullopt};
const NumberRule kSpsRule{showSps, false, true, std::nullopt};

std::string rangePrompt(const char* prompt, const std::string& low, const std::string& high) {
    return replaceMarker(replaceMarker(prompt, "%1", low), "%2", high);
}

// Takes the controls' texts into values in order, stopping at the first that fails: its
// prompt is shown and the focus goes to its control; after that every call does nothing.
class ValueTaker {
public:
    ValueTaker(orv::ui::Interaction& ui, std::optional<ControlId>& focus)
        : ui_(ui), focus_(focus) {}
    bool ok() const { return ok_; }

    void chars(const std::string& text, std::size_t limit, ControlId id, std::string& into) {
        if (!ok_)
            return;
        if (orv::text::length(text) > limit)
            return fail(id, replaceMarker(msg::kMaxChars, "%1", std::to_string(limit)));
        into = text;
    }

    // A text still as the field showed the value read gives that value exactly, no value
    // included; anything typed must be a finite number that a REAL column holds.
    void number(const std::string& text, std::optional<double> read, const NumberRule& rule,
                ControlId id, std::optional<double>& into) {
        if (!ok_)
            return;
        if (text == rule.show(read)) {
            into = read;
            return;
        }
        if (rule.emptyIsNoValue && orv::text::trim(text).empty()) {
            into.reset();
            return;
        }
        double v = 0;
        if (!orv::text::parseDouble(text, v))
            return fail(id, msg::kNumber);
        if (rule.single && fitsSingle(v))
            v = static_cast<double>(static_cast<float>(v));
        if (rule.range && (v < rule.range->first || v > rule.range->second))
            return fail(id, rangePrompt(msg::kNumberRange, format("%.6g", rule.range->first),
                                        format("%.6g", rule.range->second)));
        if (!fitsSingle(v))
            return fail(id, msg::kNumber);
        into = v;
    }

    void integer(const std::string& text, ControlId id, int& into,
                 std::optional<std::pair<int, int>> range) {
        if (!ok_)
            return;
        long long v = 0;
        if (!orv::text::parseInt(text, v) || v < std::numeric_limits<int>::min() ||
            v > std::numeric_limits<int>::max())
            return fail(id, msg::kInteger);
        if (range && (v < range->first || v > range->second))
            return fail(id, rangePrompt(msg::kIntegerRange, std::to_string(range->first),
                                        std::to_string(range->second)));
        into = static_cast<int>(v);
    }

    void refuse(ControlId id, const std::string& prompt) {
        if (ok_)
            fail(id, prompt);
    }

private:
    void fail(ControlId id, const std::string& prompt) {
        ui_.message(prompt, {}, Icon::Exclamation, Buttons::Ok);
        focus_ = id;
        ok_ = false;
    }

    orv::ui::Interaction& ui_;
    std::optional<ControlId>& focus_;
    bool ok_ = true;
};

// Reads a number as scanf's "%0Nd" does: blanks skipped, then a sign and digits, at most
// width characters in all.
bool readNumber(std::string_view text, std::size_t& pos, int width, int& value) {
    while (pos < text.size() && std::isspace(static_cast<unsigned char>(text[pos])))
        ++pos;
    std::size_t p = pos;
    const std::size_t last = std::min(text.size(), pos + static_cast<std::size_t>(width));
    const bool negative = p < last && text[p] == '-';
    if (p < last && (text[p] == '-' || text[p] == '+'))
        ++p;
    const std::size_t digits = p;
    int v = 0;
    for (; p < last && std::isdigit(static_cast<unsigned char>(text[p])); ++p)
        v = 10 * v + (text[p] - '0');
    if (p == digits)
        return false;
    value = negative ? -v : v;
    pos = p;
    return true;
}

constexpr int kDateTimeFields = 6;
struct DateTimeRead {
    int fields = 0;      // how many of the six were read
    std::size_t end = 0; // where reading stopped
};

// Reads "%04d-%02d-%02d %02d:%02d:%02d" as sscanf does, into the fields it reaches; the
// blank between date and time matches any run of blanks, including none.
DateTimeRead readDateTime(std::string_view text, orv::odbc::Timestamp& t) {
    using T = orv::odbc::Timestamp;
    struct Field {
        char separator; // before the number; 0 for none
        int width;
        int T::*value;
    };
    static constexpr Field kFields[kDateTimeFields] = {{0, 4, &T::year},     {'-', 2, &T::month},
                                                       {'-', 2, &T::day},    {' ', 2, &T::hour},
                                                       {':', 2, &T::minute}, {':', 2, &T::second}};
    DateTimeRead read;
    for (const Field& f : kFields) {
        std::size_t p = read.end;
        if (f.separator && f.separator != ' ') {
            if (p >= text.size() || text[p] != f.separator)
                break;
            ++p;
        }
        if (!readNumber(text, p, f.width, t.*f.value))
            break;
        read.end = p;
        ++read.fields;
    }
    return read;
}

// The order of the station lists: without regard to case (Cyrillic too), codes that differ
// only in case in byte order.
bool listedBefore(const std::string& a, const std::string& b) {
    const std::string upperA = orv::text::toUpper(a), upperB = orv::text::toUpper(b);
    return upperA != upperB ? upperA < upperB : a < b;
}

} // namespace

std::string shortestText(double value) {
    return shortestTextOf(value);
}

std::string shortestText(float value) {
    return shortestTextOf(value);
}

std::string showCoordinate(std::optional<double> value) {
    if (!value)
        return {};
    if (fitsSingle(*value)) {
        const auto single = static_cast<float>(*value);
        if (static_cast<double>(single) == *value)
            return shortestText(single);
    }
    return shortestText(*value);
}

std::string showOffset(std::optional<double> value) {
    return value ? format("%.3f", *value) : std::string();
}

std::string showSps(std::optional<double> value) {
    if (!value)
        return {};
    return *value == std::floor(*value) ? format("%0.0f", *value) : format("%0.4f", *value);
}

const std::vector<std::string>& locationCodes() {
    static const std::vector<std::string> codes = {"??", "00", "10", "XX"};
    return codes;
}

NormalisedDate normaliseDateTime(const std::string& typed, const orv::odbc::Timestamp& defaults,
                                 int currentYear) {
    orv::odbc::Timestamp t = defaults;
    const DateTimeRead read = readDateTime(typed, t);
    NormalisedDate n;
    const bool isDate = read.fields == kDateTimeFields ||
                        (read.fields > 0 && orv::text::trim(typed.substr(read.end)).empty());
    if (!isDate) {
        n.text = typed;
        return n;
    }
    n.text =
        format("%04d-%02d-%02d %02d:%02d:%02d", t.year, t.month, t.day, t.hour, t.minute, t.second);
    n.valid = t.isValid() && t.year >= 1900 && t.year <= currentYear;
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
    const std::vector<std::string>& list = controls_.staList;
    auto found = std::find(list.begin(), list.end(), text);
    if (found == list.end())
        found = std::find_if(list.begin(), list.end(), [&](const std::string& entry) {
            return orv::text::startsWithNoCase(entry, text);
        });
    return found == list.end() ? -1 : static_cast<int>(found - list.begin());
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
    std::sort(stations.begin(), stations.end(), listedBefore);
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
    long long n = 0;
    if (orv::text::parseInt(text, n) && n >= 1 && n <= kGroups) {
        state_.ngroups = static_cast<int>(n);
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
    state_.sps = kDefaultSps;
    state_.ngroups = 4;
    state_.lat = 45;
    state_.lon = 45;
    state_.elev = 0;
    state_.ondate = nowText();
    state_.offdate.clear();
    state_.nindex = nextStationNumber(connection);
}

void CStationDlg::clearLookedUpFields() {
    state_.refsta.clear();
    state_.dnorth.reset();
    state_.deast.reset();
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
}

void CStationDlg::lookUp(const std::string& code) {
    clearLookedUpFields();
    channels_ = ChannelsShown::Unread;
    groupsRead_ = 0;
    rowsRead_.fill(false);
    if (auto connection = openOperationConnection(ctx_.settings))
        showStation(*connection, code);
    else
        ctx_.ui->message(msg::kInitError, {}, Icon::None, Buttons::Ok);
    read_ = state_;
}

void CStationDlg::showStation(orv::odbc::Connection& connection, const std::string& code) {
    std::string notice;
    try {
        if (const auto stored = findSite(connection, code)) {
            state_.sta = *stored;
            notice = readChannels(connection, *stored);
        } else {
            applyNewStationDefaults(connection);
            channels_ = ChannelsShown::Defaults;
        }
    } catch (const DatabaseError& e) {
        showDatabaseError(e.what());
    }
    showLookUpNotice(notice);
    controls_.ondate = state_.ondate;
    controls_.offdate = state_.offdate;
    applyGroupEnabling();
}

// The station of the code, else the listed station whose code differs from it only in case
// (the code field raises what is typed, a copy keeps lower case). Returns its code as
// stored (a database that compares without regard to case finds the twin at once), or
// nullopt when there is none.
std::optional<std::string> CStationDlg::findSite(orv::odbc::Connection& connection,
                                                 const std::string& code) {
    if (auto stored = readSite(connection, code))
        return stored;
    for (const std::string& listed : controls_.staList)
        if (listed != code && orv::text::equalsNoCase(listed, code))
            if (auto stored = readSite(connection, listed))
                return stored;
    return std::nullopt;
}

std::optional<std::string> CStationDlg::readSite(orv::odbc::Connection& connection,
                                                 const std::string& code) {
    CSite site(connection);
    site.setFilter(sql::kFilterStation, {orv::odbc::Parameter::text(code)});
    site.open();
    if (site.isEOF())
        return std::nullopt;
    const SiteRow& r = site.row();
    auto number = [](double v) { return v == kNoValue ? std::nullopt : std::optional(v); };
    state_.ngroups = r.ngroups;
    state_.elev = number(r.elev);
    state_.lat = number(r.lat);
    state_.lon = number(r.lon);
    state_.nindex = r.nindex;
    state_.refsta = r.refsta;
    state_.staname = r.staname;
    state_.cod = r.cod;
    state_.descr = r.descr;
    state_.underground = r.underground;
    state_.ondate = r.ondate;
    state_.offdate = r.offdate;
    state_.deast = number(r.deast);
    state_.dnorth = number(r.dnorth);
    const std::string stored = orv::text::trim(r.sta);
    return orv::text::equalsNoCase(stored, code) ? stored : code;
}

// Reads the channels of the station's groups. Returns what the user is to be told: that
// the channel table could not be read (nothing of it is shown then), or which rows are not
// shown for want of a component index; empty when all is well.
std::string CStationDlg::readChannels(orv::odbc::Connection& connection, const std::string& code) {
    std::vector<std::string> unindexed;
    const int groups = std::clamp(state_.ngroups, 0, kGroups);
    try {
        for (int g = 1; g <= groups; ++g)
            loadGroup(connection, code, g, unindexed);
    } catch (const DatabaseError& e) {
        state_.chan.fill({});
        state_.sps.fill({});
        state_.sensor.fill({});
        state_.lcode.fill({});
        controls_.responseFile.fill({});
        rowsRead_.fill(false);
        return format(msg::kChannelsUnread, code.c_str(), e.what());
    }
    channels_ = ChannelsShown::Read;
    groupsRead_ = groups;
    std::string list;
    for (const std::string& channel : unindexed)
        list += (list.empty() ? "" : ", ") + channel;
    return list.empty() ? list : format(msg::kUnindexedChannels, list.c_str());
}

void CStationDlg::loadGroup(orv::odbc::Connection& connection, const std::string& code, int group,
                            std::vector<std::string>& unindexed) {
    const auto g = static_cast<std::size_t>(group - 1);
    CSiteChan chan(connection);
    chan.setFilter(sql::kFilterGroup,
                   {orv::odbc::Parameter::text(code), orv::odbc::Parameter::integer(group)});
    chan.open();
    for (; !chan.isEOF(); chan.moveNext()) {
        const SiteChanRow& r = chan.row();
        if (!r.chanindex)
            unindexed.push_back(format(msg::kUnindexedChannel, r.chan.c_str(), group));
        else if (*r.chanindex >= 0 && *r.chanindex < kComponents) {
            const auto i = static_cast<std::size_t>(channelIndex(group, *r.chanindex));
            controls_.responseFile[i] = r.calibfile;
            state_.chan[i] = r.chan;
            state_.lcode[g] = r.lcode;
            state_.sensor[g] = r.descr;
        }
        state_.sps[g] = r.sps == kNoValue ? std::nullopt : std::optional(r.sps);
        rowsRead_[g] = true;
        if (state_.lcode[g].empty())
            state_.lcode[g] = "??";
    }
    chan.close();
}

// A notice of the look-up is shown once, not again at every look-up of the same station.
void CStationDlg::showLookUpNotice(const std::string& notice) {
    if (!notice.empty() && notice != lastNotice_)
        ctx_.ui->message(notice, {}, Icon::Exclamation, Buttons::Ok);
    lastNotice_ = notice;
}

void CStationDlg::refresh() {
    StationControls& c = controls_;
    const StationState& s = state_;
    c.sta = s.sta;
    c.cod = s.cod;
    c.lat = showCoordinate(s.lat);
    c.lon = showCoordinate(s.lon);
    c.elev = showCoordinate(s.elev);
    c.nindex = format("%d", s.nindex);
    c.ngroups = format("%d", s.ngroups);
    c.descr = s.descr;
    c.staname = s.staname;
    c.underground = s.underground;
    c.ondate = s.ondate;
    c.offdate = s.offdate;
    c.refsta = s.refsta;
    c.dnorth = showOffset(s.dnorth);
    c.deast = showOffset(s.deast);
    c.chan = s.chan;
    c.lcode = s.lcode;
    for (std::size_t g = 0; g < static_cast<std::size_t>(kGroups); ++g)
        c.sps[g] = showSps(s.sps[g]);
    c.sensor = s.sensor;
}

bool CStationDlg::takeValues() {
    StationState s = state_;
    const StationState& r = read_;
    const StationControls& c = controls_;
    ValueTaker take(*ctx_.ui, focus_);
    for (int i = 0; i < kChannels; ++i) {
        const auto k = static_cast<std::size_t>(i);
        take.chars(c.chan[k], 6, {Kind::Channel, i}, s.chan[k]);
    }
    take.number(c.elev, r.elev, kElevationRule, {Kind::Elev}, s.elev);
    take.number(c.lat, r.lat, kCoordinateRule, {Kind::Lat}, s.lat);
    take.number(c.lon, r.lon, kCoordinateRule, {Kind::Lon}, s.lon);
    take.integer(c.ngroups, {Kind::Ngroups}, s.ngroups, std::pair{1, kGroups});
    take.chars(c.sta, kCodeChars, {Kind::Station}, s.sta);
    // A station is written under the code shown unless a copy takes its own.
    if (!pendingCopy_ && orv::text::trim(c.sta).empty())
        take.refuse({Kind::Station}, msg::kNoStationName);
    take.chars(c.cod, kCodeChars, {Kind::Cod}, s.cod);
    for (int g = 0; take.ok() && g < s.ngroups; ++g) {
        const auto k = static_cast<std::size_t>(g);
        if (spsRequired(s, g) && orv::text::trim(c.sps[k]).empty())
            take.refuse({Kind::Sps, g}, msg::kNumber);
        else
            take.number(c.sps[k], r.sps[k], kSpsRule, {Kind::Sps, g}, s.sps[k]);
    }
    take.integer(c.nindex, {Kind::Nindex}, s.nindex, std::nullopt);
    s.lcode = c.lcode;
    s.refsta = c.refsta;
    take.number(c.dnorth, r.dnorth, kOffsetRule, {Kind::Dnorth}, s.dnorth);
    take.number(c.deast, r.deast, kOffsetRule, {Kind::Deast}, s.deast);
    take.chars(c.descr, 50, {Kind::Descr}, s.descr);
    take.chars(c.staname, 50, {Kind::Staname}, s.staname);
    take.chars(c.underground, 250, {Kind::Underground}, s.underground);
    take.chars(c.ondate, 50, {Kind::Ondate}, s.ondate);
    take.chars(c.offdate, 50, {Kind::Offdate}, s.offdate);
    s.sensor = c.sensor;
    if (!take.ok())
        return false;
    state_ = s;
    return true;
}

// A group whose channels are written needs its samples per second (the channel table may
// require them), unless its rows were read without any and it still shows none.
bool CStationDlg::spsRequired(const StationState& s, int group) const {
    const auto g = static_cast<std::size_t>(group);
    if (channels_ == ChannelsShown::Unread || (rowsRead_[g] && !read_.sps[g]))
        return false;
    for (int c = 0; c < kComponents; ++c)
        if (!s.chan[static_cast<std::size_t>(channelIndex(group + 1, c))].empty())
            return true;
    return false;
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
    auto runDeletion = [&](const char* statement) {
        orv::odbc::Transaction transaction(*connection);
        if (!transaction.begun()) {
            ctx_.ui->message(msg::kBeginTransactionError, {}, Icon::None, Buttons::Ok);
            return false;
        }
        orv::odbc::Statement st(*connection);
        if (!st.valid() ||
            orv::odbc::isError(execDirect(st, statement, {orv::odbc::Parameter::text(code)})) ||
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
    if (connection->tableExists("SITECHAN") && !runDeletion(sql::kDeleteChannels))
        return;
    if (!runDeletion(sql::kDeleteSite))
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
    ctx_.ui->message(format(msg::kDeleted, code.c_str()), {}, Icon::Information, Buttons::Ok);
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
