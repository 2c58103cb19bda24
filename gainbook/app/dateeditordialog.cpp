#include "dateeditordialog.h"

#include "connection.h"
#include "datetext.h"
#include "responsestatements.h"
#include "typedinput.h"

namespace orv::gainbook {

using orv::odbc::Timestamp;
using orv::ui::Buttons;
using orv::ui::Icon;

namespace {

constexpr const char* kDateChanged = "Дата изменена!";
constexpr const char* kNoInterval =
    "В базе нет такого интервала для выбранных Сети, Станции, Канала и Расположения: дата не "
    "изменена.";
constexpr const char* kNoneChosen = "Интервал не выбран: дата не изменена.";
constexpr const char* kNotChanged = "\r\nДата не изменена.";
constexpr const char* kUpdateAction = "изменения даты";
constexpr const char* kListErrorCaption = "Неизвестная ошибка";
constexpr std::string_view kSeparator = " / ";

} // namespace

DateEditorDialog::DateEditorDialog(orv::odbc::Connection& connection, orv::ui::Interaction& ui,
                                   const BrowserKey& panelKey)
    : station(panelKey.station), network(panelKey.network), channel(panelKey.channel),
      location(panelKey.location), connection_(connection), ui_(ui) {
    selectFirst = station.empty() || network.empty() || channel.empty() || location.empty();
}

DateEditorDialog::Step DateEditorDialog::fill(ChoiceList& target, const ListRead& read) {
    if (!read.allocated)
        return Step::Stopped;
    target.clear();
    if (!read.executed)
        ui_.message(read.diagnostic, kListErrorCaption, Icon::Exclamation, Buttons::Ok);
    for (const std::string& v : read.values)
        target.add(v);
    return Step::Done;
}

void DateEditorDialog::preselect(ChoiceList& list, const std::string& given) {
    if (selectFirst)
        list.selected = list.empty() ? -1 : 0;
    else
        list.selected = list.findPrefix(given); // not found: no selection
}

void DateEditorDialog::initialise() {
    if (fill(stations, readCodes(connection_, sql::kDateEditorStations, {})) == Step::Stopped)
        return;
    preselect(stations, station);
    stationChosen();
}

void DateEditorDialog::stationChosen() {
    station = stations.selectedText();
    if (fill(networks, readCodes(connection_, sql::kDateEditorNetworks, {station})) ==
        Step::Stopped)
        return;
    preselect(networks, network);
    networkChosen();
}

void DateEditorDialog::networkChosen() {
    station = stations.selectedText();
    network = networks.selectedText();
    if (fill(channels, readCodes(connection_, sql::kDateEditorChannels, {station, network})) ==
        Step::Stopped)
        return;
    preselect(channels, channel);
    channelChosen();
}

void DateEditorDialog::channelChosen() {
    station = stations.selectedText();
    network = networks.selectedText();
    channel = channels.selectedText();
    if (fill(locations, readCodes(connection_, sql::kDateEditorLocations,
                                  {network, station, channel})) == Step::Stopped)
        return;
    preselect(locations, location);
    locationChosen();
}

void DateEditorDialog::locationChosen() {
    station = stations.selectedText();
    network = networks.selectedText();
    channel = channels.selectedText();
    location = locations.selectedText();
    if (fill(intervals, readIntervals(connection_, sql::kDateEditorIntervals,
                                      {network, station, channel, location}, kOpenEndText)) ==
        Step::Stopped)
        return;
    if (intervals.empty()) {
        startEdit.clear();
        endEdit.clear();
        return;
    }
    intervals.selected = 0;
    intervalChosen();
    selectFirst = true;
}

void DateEditorDialog::intervalChosen() {
    const std::string entry = intervals.selectedText();
    const std::size_t slash = entry.find(kSeparator);
    startEdit = entry.substr(0, slash);
    const std::string end =
        slash == std::string::npos ? "" : entry.substr(slash + kSeparator.size());
    endEdit = end.starts_with("до") ? std::string() : end;
}

void DateEditorDialog::pickStation(int index) {
    stations.selected = index;
    stationChosen();
}

void DateEditorDialog::pickNetwork(int index) {
    networks.selected = index;
    networkChosen();
}

void DateEditorDialog::pickChannel(int index) {
    channels.selected = index;
    channelChosen();
}

void DateEditorDialog::pickLocation(int index) {
    locations.selected = index;
    locationChosen();
}

void DateEditorDialog::pickInterval(int index) {
    intervals.selected = index;
    intervalChosen();
}

bool DateEditorDialog::apply() {
    const std::string entry = intervals.selectedText();
    if (entry.empty()) {
        ui_.message(kNoneChosen, kDateEditorTitle, Icon::Exclamation, Buttons::Ok);
        return false;
    }
    const TypedInterval typed = readTypedInterval(kNewStartField, startEdit, kNewEndField, endEdit);
    if (!typed.ok()) {
        ui_.message(typed.error + kNotChanged, kDateEditorTitle, Icon::Exclamation, Buttons::Ok);
        return false;
    }
    // The entry was written by this dialog: its start, and its end unless it is open.
    const std::size_t slash = entry.find(kSeparator);
    const std::string endText = slash == std::string::npos ? "" : entry.substr(slash + 3);
    std::optional<Timestamp> oldEnd;
    if (!endText.empty() && !endText.starts_with("до"))
        oldEnd = parseDateText(endText);
    const EditResult result = redateInterval(connection_, {station, network, channel, location},
                                             parseDateText(entry), oldEnd, typed.start, typed.end);
    switch (result.status) {
    case EditStatus::Failed:
        ui_.message(failureText(kUpdateAction, result.diagnostic), kDateEditorTitle,
                    Icon::Exclamation, Buttons::Ok);
        return false;
    case EditStatus::NoRow:
        ui_.message(kNoInterval, kDateEditorTitle, Icon::Exclamation, Buttons::Ok);
        break;
    case EditStatus::Changed:
        ui_.message(kDateChanged, "", Icon::None, Buttons::Ok);
        break;
    }
    // The station again, and everything below it refilled with first entries.
    stations.selected = stations.findPrefix(station);
    intervals.clear();
    stationChosen();
    return result.status == EditStatus::Changed;
}

} // namespace orv::gainbook
