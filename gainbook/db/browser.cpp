#include "db/browser.h"

#include "db/connection.h"
#include "db/datetext.h"
#include "db/responsestatements.h"
#include "db/schema.h"
#include "formats/responsetext.h"
#include "text/text.h"

#include <algorithm>

namespace orv::gainbook {

using orv::odbc::isError;
using orv::odbc::isSuccess;
using orv::odbc::Parameter;
using orv::odbc::Statement;

namespace {

constexpr const char* kUnknownErrorCaption = "Неизвестная ошибка";
constexpr const char* kOnlyFapNote =
    "У этой записи нет текста SAC, есть только текст FAP: выберите просмотр FAP.";
constexpr const char* kOnlySacNote =
    "У этой записи нет текста FAP, есть только текст SAC: выберите просмотр SAC.";
constexpr const char* kNoTextNote = "У этой записи нет ни текста SAC, ни текста FAP.";

// Line breaks as the view shows them: every break one "\r\n"; "|" (how inserts store a
// break) and tabs as a break and a blank.
std::string displayText(const std::string& stored) {
    std::string out;
    out.reserve(stored.size() + stored.size() / 16);
    for (std::size_t i = 0; i < stored.size(); ++i) {
        const char c = stored[i];
        if (c == '\r' && i + 1 < stored.size() && stored[i + 1] == '\n')
            continue; // the "\n" that follows writes the break
        if (c == '\n' || c == '|')
            out += "\r\n";
        else if (c == '\t')
            out += ' ';
        else
            out += c;
    }
    return out;
}

} // namespace

// --- ChoiceList ---------------------------------------------------------------------------

void ChoiceList::clear() {
    entries.clear();
    selected = -1;
}

void ChoiceList::add(const std::string& entry) {
    if (!sorted) {
        entries.push_back(entry);
        return;
    }
    const std::string key = orv::text::toUpper(entry);
    const auto at = std::upper_bound(
        entries.begin(), entries.end(), key,
        [](const std::string& k, const std::string& e) { return k < orv::text::toUpper(e); });
    const auto index = static_cast<int>(at - entries.begin());
    entries.insert(at, entry);
    if (selected >= index)
        ++selected;
}

std::string ChoiceList::selectedText() const {
    return selected >= 0 && selected < static_cast<int>(entries.size())
               ? entries[static_cast<std::size_t>(selected)]
               : std::string();
}

int ChoiceList::findPrefix(const std::string& prefix) const {
    // An entry spelt exactly so wins over one that differs only in case ("tb" and "TB").
    if (!prefix.empty())
        for (std::size_t i = 0; i < entries.size(); ++i)
            if (entries[i] == prefix)
                return static_cast<int>(i);
    for (std::size_t i = 0; i < entries.size(); ++i)
        if (orv::text::startsWithNoCase(entries[i], prefix))
            return static_cast<int>(i);
    return -1;
}

const char* firstListStatement(bool byStation, std::string_view dbmsName) {
    if (classifyDbmsName(dbmsName) == DbmsKind::PostgreSql)
        return byStation ? sql::kStationsAllLooseScan : sql::kNetworksAllLooseScan;
    return byStation ? sql::kStationsAll : sql::kNetworksAll;
}

// --- ResponseBrowser --------------------------------------------------------------------

ResponseBrowser::ResponseBrowser(orv::odbc::Connection* connection, orv::ui::Interaction& ui)
    : connection_(connection), ui_(ui) {}

void ResponseBrowser::notify() {
    if (changed)
        changed();
}

void ResponseBrowser::errorBox(const std::string& diagnostic) {
    ++failedReads;
    ui_.message(diagnostic, kUnknownErrorCaption, orv::ui::Icon::Exclamation, orv::ui::Buttons::Ok);
}

ResponseBrowser::Fill ResponseBrowser::fill(ChoiceList& target, const char* sql,
                                            std::initializer_list<std::string_view> codes,
                                            bool readIntervals) {
    if (!connection_ || !connection_->isOpen())
        return Fill::NoStatement;
    Statement st(*connection_);
    if (!st.valid())
        return Fill::NoStatement;
    target.clear();
    const SQLRETURN rc =
        codes.size() == 0 ? st.execDirect(sql) : st.run(sql, Parameter::codes(codes));
    if (isError(rc)) {
        errorBox(st.diagnostic());
    } else {
        SQLRETURN fetched = SQL_NO_DATA;
        while (isSuccess(fetched = st.fetch())) {
            if (readIntervals) {
                const auto start = st.getTimestamp(1);
                const auto end = st.getTimestamp(2);
                target.add(
                    intervalText(start.value_or(orv::odbc::Timestamp{0, 0, 0, 0, 0, 0}), end));
            } else {
                target.add(readCode(st, 1));
            }
        }
        // A fetch that fails ends the list as a failure, not as its end: a part of a
        // list would pass for the whole.
        if (isError(fetched)) {
            errorBox(st.diagnostic());
            target.clear();
        }
    }
    st.closeCursor();
    if (target.empty()) {
        fullReset();
        return Fill::Empty;
    }
    return Fill::Filled;
}

void ResponseBrowser::preselect(ChoiceList& list, const std::string& remembered, Miss miss) {
    if (!startSelectionRequested) {
        list.selected = 0;
        return;
    }
    const int found = list.findPrefix(remembered);
    if (found >= 0) {
        list.selected = found;
        return;
    }
    list.selected = 0;
    if (miss == Miss::IfNotEmpty && !remembered.empty())
        startSelectionMissed = true;
}

void ResponseBrowser::fillFirstList() {
    const std::string dbms =
        connection_ ? connection_->dbmsName().value_or(std::string()) : std::string();
    const char* statement = firstListStatement(browseByStation, dbms);
    if (browseByStation) {
        if (fill(stations, statement, {}) != Fill::Filled)
            return notify();
        preselect(stations, stationToSelect, Miss::Never);
        stationChosen();
    } else {
        if (fill(networks, statement, {}) != Fill::Filled)
            return notify();
        preselect(networks, networkToSelect, Miss::Never);
        networkChosen();
    }
}

void ResponseBrowser::stationChosen() {
    const std::string station = stations.selectedText();
    if (browseByStation) {
        if (fill(networks, sql::kNetworksOfStation, {station}) != Fill::Filled)
            return notify();
        preselect(networks, networkToSelect, Miss::Never);
        networkChosen();
    } else {
        if (fill(channels, sql::kChannelsOfStationNetwork, {station, networks.selectedText()}) !=
            Fill::Filled)
            return notify();
        preselect(channels, channelToSelect, Miss::IfNotEmpty);
        channelChosen();
    }
}

void ResponseBrowser::networkChosen() {
    const std::string network = networks.selectedText();
    if (browseByStation) {
        if (fill(channels, sql::kChannelsOfNetworkStation, {network, stations.selectedText()}) !=
            Fill::Filled)
            return notify();
        preselect(channels, channelToSelect, Miss::IfNotEmpty);
        channelChosen();
    } else {
        if (fill(stations, sql::kStationsOfNetwork, {network}) != Fill::Filled)
            return notify();
        preselect(stations, stationToSelect, Miss::IfNotEmpty);
        stationChosen();
    }
}

void ResponseBrowser::channelChosen() {
    if (fill(locations, sql::kLocations,
             {stations.selectedText(), networks.selectedText(), channels.selectedText()}) !=
        Fill::Filled)
        return notify();
    preselect(locations, locationToSelect, Miss::IfNotEmpty);
    locationChosen();
}

void ResponseBrowser::locationChosen() {
    if (fill(intervals, sql::kIntervals,
             {stations.selectedText(), networks.selectedText(), channels.selectedText(),
              locations.selectedText()},
             true) != Fill::Filled)
        return notify();
    preselect(intervals, intervalToSelect, Miss::Never);
    intervalChosen();
}

void ResponseBrowser::intervalChosen() {
    showRecord();
    notify();
}

void ResponseBrowser::showRecord() {
    if (!connection_ || !connection_->isOpen())
        return;
    long idSens = 0;
    long idFreq = 0;
    {
        Statement st(*connection_);
        if (!st.valid())
            return;
        const BrowserKey key = currentKey();
        const orv::odbc::Timestamp start = parseDateText(key.interval);
        const SQLRETURN rc = st.run(viewSac ? sql::kRecordSac : sql::kRecordFap,
                                    {Parameter::code(key.station), Parameter::code(key.network),
                                     Parameter::code(key.channel), Parameter::code(key.location),
                                     Parameter::date(start, true)});
        if (isError(rc)) {
            const std::string diagnostic = st.diagnostic();
            st.closeCursor();
            errorBox(diagnostic);
            fullReset();
            return;
        }
        if (const SQLRETURN fetched = st.fetch(); !isSuccess(fetched)) {
            const std::string diagnostic = isError(fetched) ? st.diagnostic() : std::string();
            st.closeCursor();
            if (!diagnostic.empty())
                errorBox(diagnostic);
            fullReset();
            return;
        }
        // Read whole what the working buffer holds (characters of up to four bytes); a
        // longer text is refused, never shown cut.
        bool longer = false;
        storedText =
            displayText(st.getText(1, 4 * formats::kMaxTextChars, longer).value_or(std::string()));
        storedTextTooLong = longer || !formats::fitsWorkingBuffer(storedText);
        if (storedTextTooLong)
            storedText.clear();
        sensValue = orv::text::format("%lg", st.getDouble(2).value_or(0.0));
        idSens = static_cast<long>(st.getInteger(3).value_or(0));
        freqValue = orv::text::format("%lg", st.getDouble(4).value_or(0.0));
        idFreq = static_cast<long>(st.getInteger(5).value_or(0));
        storedTextNote.clear();
        if (!storedTextTooLong && orv::text::trim(storedText).empty())
            storedTextNote = st.getInteger(6).value_or(0) != 0
                                 ? (viewSac ? kOnlyFapNote : kOnlySacNote)
                                 : kNoTextNote;
    }
    unitLabel("ID_SENS", sql::kSensUnit, idSens, sensLabel, "SENS");
    unitLabel("ID_FREQ", sql::kFreqUnit, idFreq, freqLabel, "FREQ");
    startSelectionRequested = false;
    if (storedTextTooLong)
        ui_.message(formats::kTextTooLongMessage, "", orv::ui::Icon::Exclamation,
                    orv::ui::Buttons::Ok);
}

void ResponseBrowser::unitLabel(const char* table, const char* sql, long id, std::string& label,
                                const char* plain) {
    Statement st(*connection_);
    if (!st.valid() || !connection_->tableExists(table))
        return;
    if (isError(st.run(sql, {Parameter::unitId(static_cast<short>(id))}))) {
        errorBox(st.diagnostic());
        return;
    }
    const SQLRETURN fetched = st.fetch();
    if (isError(fetched))
        errorBox(st.diagnostic());
    else if (isSuccess(fetched))
        label =
            std::string(plain) + " (" + st.getText(1, kMaxUnitChars).value_or(std::string()) + ")";
}

void ResponseBrowser::pickStation(int index) {
    stations.selected = index;
    stationChosen();
}

void ResponseBrowser::pickNetwork(int index) {
    networks.selected = index;
    networkChosen();
}

void ResponseBrowser::pickChannel(int index) {
    channels.selected = index;
    channelChosen();
}

void ResponseBrowser::pickLocation(int index) {
    locations.selected = index;
    locationChosen();
}

void ResponseBrowser::pickInterval(int index) {
    intervals.selected = index;
    intervalChosen();
}

void ResponseBrowser::chooseView(bool sac) {
    viewSac = sac;
    showRecord();
    notify();
}

void ResponseBrowser::chooseBrowseOrder(bool byStation) {
    if (browseByStation == byStation)
        return;
    browseByStation = byStation;
    fillFirstList();
}

void ResponseBrowser::requestSelection(const std::string& station, const std::string& network,
                                       const std::string& channel, const std::string& location) {
    stationToSelect = station;
    networkToSelect = network;
    channelToSelect = channel;
    locationToSelect = location;
    startSelectionRequested = true;
}

BrowserKey ResponseBrowser::currentKey() const {
    return {stations.selectedText(), networks.selectedText(), channels.selectedText(),
            locations.selectedText(), intervals.selectedText()};
}

void ResponseBrowser::fullReset() {
    stations.clear();
    networks.clear();
    channels.clear();
    locations.clear();
    intervals.clear();
    storedText.clear();
    storedTextTooLong = false;
    storedTextNote.clear();
    sensValue.clear();
    freqValue.clear();
    sensLabel = "SENS";
    freqLabel = "FREQ";
}

} // namespace orv::gainbook
