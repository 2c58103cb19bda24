// The station dialog's state and handlers, apart from any widget: the look-up of a
// station as its code is typed, the station lists, the defaults of a new station, the
// enabling of the channel groups, the validation of the entered values, writing,
// deleting and copying a station, and the small per-channel buttons.
//
// Two layers, as in any dialog: the controls (the texts the widgets show, their lists,
// which are enabled, where the focus goes) and the state (the values last looked up or
// taken from the controls). refresh() puts the state into the controls; takeValues()
// validates the controls into the state. A number field whose text is still what the
// look-up showed gives back the value read, exactly (no value stays no value), so saving a
// station nobody edited moves nothing.
#pragma once

#include "core/responselink.h"
#include "core/startup.h"
#include "odbc/odbc.h"
#include "ui/interaction.h"

#include <array>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace orv::sitewright {

inline constexpr int kGroups = 7;
inline constexpr int kComponents = 3;
inline constexpr int kChannels = kGroups * kComponents;

// Index of the channel edit (and small button) of group g (1..7), component c (0..2).
constexpr int channelIndex(int group, int component) {
    return 3 * (group - 1) + component;
}

// What the start-up gives the dialog.
struct DialogContext {
    ConnectionSettings settings;
    orv::odbc::Connection* startupConnection = nullptr; // for the station counts
    orv::ui::Interaction* ui = nullptr;
    ProcessLauncher* launcher = nullptr;
    std::filesystem::path localSettings;    // Sitewright.ini
    orv::ini::SettingsFiles systemSettings; // the shared orv.ini files
};

// A control the focus can be put on.
struct ControlId {
    enum class Kind {
        Station,
        Cod,
        Lat,
        Lon,
        Elev,
        Nindex,
        Descr,
        Staname,
        Underground,
        Ondate,
        Offdate,
        Ngroups,
        Refsta,
        Dnorth,
        Deast,
        Channel,
        Lcode,
        Sps,
        Sensor
    } kind = Kind::Station;
    int index = 0; // channel 0..20, or group 0..6
    bool operator==(const ControlId&) const = default;
};

struct StationControls {
    std::string sta; // the station list's edit field
    std::vector<std::string> staList;
    int staSelection = -1;
    std::string cod, lat, lon, elev, nindex, descr, staname, underground, ondate, offdate;
    std::string ngroups;
    std::string refsta;
    std::vector<std::string> refstaList;
    std::string dnorth, deast;
    std::array<std::string, kChannels> chan;
    std::array<std::string, kChannels> responseFile; // captions of the small buttons
    std::array<bool, kChannels> chanEnabled{};
    std::array<std::string, kGroups> lcode, sps, sensor;
    std::array<bool, kGroups> groupEnabled{};
};

// The values of the station shown. Numbers without a value (NULL) are nullopt.
struct StationState {
    std::string sta, cod;
    std::optional<double> lat, lon, elev; // single precision when typed
    int nindex = 0;
    int ngroups = 0;
    std::string descr, staname, underground, ondate, offdate;
    std::string refsta;
    std::optional<double> dnorth, deast;
    std::array<std::string, kChannels> chan;
    std::array<std::string, kGroups> lcode, sensor;
    std::array<std::optional<double>, kGroups> sps;
};

// Where the channels shown come from, which decides what a write does with them.
enum class ChannelsShown {
    Read,     // the station's rows: written, and the rows of names no longer shown removed
    Defaults, // a new station: written, nothing removed
    Unread,   // the channel table could not be read: nothing written, nothing removed
};

// The shortest text that reads back as exactly this value, in the C locale.
std::string shortestText(double value);
std::string shortestText(float value);

// How the numbers are shown; empty for no value. A coordinate or the elevation shows the
// shortest text that reads back as the value, taken in single precision when the value is
// one (so 55.7 from a REAL column shows as 55.7, and 142.123456 from a DOUBLE one as it
// is). An offset shows "%.3f"; samples per second "%0.0f" when whole, else "%0.4f".
std::string showCoordinate(std::optional<double> value);
std::string showOffset(std::optional<double> value);
std::string showSps(std::optional<double> value);

// The location codes each group's list offers.
const std::vector<std::string>& locationCodes();

// The opening and closing date-time as typed, read with "%04d-%02d-%02d %02d:%02d:%02d"
// over the given defaults, printed the same way, and whether it is a date-time that exists,
// from 1900 to the current year. A date typed in part takes the remaining fields from the
// defaults ("2001-05-07" is midnight); text that does not read as the beginning of a date
// ("вчера", "2001/05/07") is no date, and then text is what was typed. Anything after the
// seconds is ignored.
struct NormalisedDate {
    std::string text;
    bool valid = false;
};
NormalisedDate normaliseDateTime(const std::string& typed, const orv::odbc::Timestamp& defaults,
                                 int currentYear);

// The next free station number on the connection (0 when it cannot be had; 1 for an
// empty table).
int nextStationNumber(orv::odbc::Connection& connection);

// The copy dialog: the new code as typed, at most 8 characters.
class CCopyStationDlg {
public:
    explicit CCopyStationDlg(std::string code) : code_(std::move(code)) {}
    std::string& code() { return code_; }
    // The length check of OK; shows the standard prompt when the code is too long.
    bool accept(orv::ui::Interaction& ui) const;

private:
    std::string code_;
};

class CStationDlg {
public:
    // Asks for the new code of a copy: nullopt on Cancel.
    using CopyPrompt = std::function<std::optional<std::string>(const std::string& offered)>;

    CStationDlg(DialogContext context, std::string requestedStation);

    void setCopyPrompt(CopyPrompt prompt) { copyPrompt_ = std::move(prompt); }
    // "Установка параметров станции.  Источник данных: ...,  Пользователь: ..."
    std::string title() const;

    StationControls& controls() { return controls_; }
    const StationState& state() const { return state_; }
    // Where the last failed validation put the focus (taken once).
    std::optional<ControlId> takeFocus();
    const std::optional<std::string>& pendingCopy() const { return pendingCopy_; }

    // --- events ---
    void open();
    void onStationTextChanged(const std::string& text);
    void onStationSelected(int index);
    void onGroupCountChanged(const std::string& text);
    void onWrite();
    void onDelete();
    void onCopy();
    void onResponseButton(int group, int component);

    // --- pieces the events are made of ---
    void fillLists();
    void lookUp(const std::string& code);
    void refresh();
    bool takeValues();
    void applyGroupEnabling();
    // The entry of the station list that is the text, else the first that begins with it
    // (any case); -1 if none.
    int findStation(const std::string& text) const;

private:
    struct SiteWrite;

    void clearLookedUpFields();
    void showStation(orv::odbc::Connection& connection, const std::string& code);
    std::optional<std::string> findSite(orv::odbc::Connection& connection, const std::string& code);
    std::optional<std::string> readSite(orv::odbc::Connection& connection, const std::string& code);
    std::string readChannels(orv::odbc::Connection& connection, const std::string& code);
    void applyNewStationDefaults(orv::odbc::Connection& connection);
    void loadGroup(orv::odbc::Connection& connection, const std::string& code, int group,
                   std::vector<std::string>& unindexed);
    void showLookUpNotice(const std::string& notice);
    void showDatabaseError(const std::string& why);

    bool spsRequired(const StationState& s, int group) const;
    bool takeDate(const std::string& typed, const orv::odbc::Timestamp& defaults, int currentYear,
                  ControlId field, std::string& into);
    std::optional<SiteWrite> prepareSiteWrite(orv::odbc::Connection& connection);
    bool runSiteStatement(orv::odbc::Connection& connection, const std::string& statement,
                          const std::vector<orv::odbc::Parameter>& parameters);
    bool writeChannels(orv::odbc::Connection& connection, const std::string& code,
                       std::optional<int> cleanUpGroups);
    std::vector<std::string> writeChannelRows(orv::odbc::Connection& connection,
                                              const std::string& code);
    void writeChannelRow(orv::odbc::Connection& connection, const std::string& code, int group,
                         int component);
    void showWritten(const std::string& code);

    DialogContext ctx_;
    StationControls controls_;
    StationState state_;
    StationState read_; // the state as the last look-up left it
    ChannelsShown channels_ = ChannelsShown::Unread;
    int groupsRead_ = 0;                   // the groups whose channels the last look-up read
    std::array<bool, kGroups> rowsRead_{}; // the groups of which it read rows
    std::string lastNotice_;
    std::string requested_;
    std::optional<std::string> pendingCopy_;
    std::optional<ControlId> focus_;
    CopyPrompt copyPrompt_;
};

} // namespace orv::sitewright
