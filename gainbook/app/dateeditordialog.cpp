#include "dateeditordialog.h"

#include "db/connection.h"
#include "db/datetext.h"
#include "db/responsestatements.h"
#include "db/typedinput.h"

#include <algorithm>

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
constexpr const char* kStartTaken = "У этого канала уже есть интервал, начинающийся ";

struct Interval {
    Timestamp start;
    std::optional<Timestamp> end; // none: open
};

// An entry of the interval list read back: its start, and its end unless it is open.
Interval entryInterval(const std::string& entry) {
    const std::size_t slash = entry.find(kSeparator);
    const std::string endText =
        slash == std::string::npos ? "" : entry.substr(slash + kSeparator.size());
    Interval i{parseDateText(entry.substr(0, slash)), std::nullopt};
    if (!endText.empty() && !endText.starts_with("до"))
        i.end = parseDateText(endText);
    return i;
}

// Two intervals share some time; an open one runs on for ever.
bool overlap(const Interval& a, const Interval& b) {
    return (!a.end || b.start < *a.end) && (!b.end || a.start < *b.end);
}

} // namespace

DateEditorDialog::DateEditorDialog(orv::odbc::Connection& connection, orv::ui::Interaction& ui,
                                   const BrowserKey& panelKey)
    : station(panelKey.station), network(panelKey.network), channel(panelKey.channel),
      location(panelKey.location), connection_(connection), ui_(ui) {
    // An empty code is a code like any other (another program may store an empty
    // location): the dialog looks for it, and never puts another key in its place.
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
    if (selectFirst) {
        list.selected = list.empty() ? -1 : 0;
        return;
    }
    // The given code itself, never one that merely begins with it: not found, no selection.
    const auto found = std::find(list.entries.begin(), list.entries.end(), given);
    list.selected =
        found == list.entries.end() ? -1 : static_cast<int>(found - list.entries.begin());
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
    const Interval old = entryInterval(entry);
    const Interval changed{typed.start, typed.end};
    // The other intervals of the key: one that starts where the new one would makes the
    // update fail; one that the new dates overlap (two open intervals among them) is
    // asked about.
    std::optional<std::string> startTaken;
    for (int i = 0; i < static_cast<int>(intervals.entries.size()); ++i) {
        if (i == intervals.selected)
            continue;
        const std::string& other = intervals.entries[static_cast<std::size_t>(i)];
        const Interval stored = entryInterval(other);
        if (stored.start == changed.start) {
            startTaken = other;
            break;
        }
    }
    if (!startTaken) {
        for (int i = 0; i < static_cast<int>(intervals.entries.size()); ++i) {
            const std::string& other = intervals.entries[static_cast<std::size_t>(i)];
            if (i == intervals.selected || !overlap(entryInterval(other), changed))
                continue;
            const std::string asked =
                "Новый интервал " + formatDateText(changed.start) + " / " +
                (changed.end ? formatDateText(*changed.end) : std::string(kOpenEndText)) +
                " перекрывает интервал " + other +
                " этого канала.\r\nВсё равно изменить дату? (Нет: дата не изменится)";
            if (!ui_.confirmChange(asked, kDateEditorTitle))
                return false;
            break;
        }
    }
    const EditResult result = redateInterval(connection_, {station, network, channel, location},
                                             old.start, old.end, typed.start, typed.end);
    if (result.status == EditStatus::Failed && startTaken) {
        ui_.message(kStartTaken + formatDateText(changed.start) + " (" + *startTaken +
                        "): дата не изменена.\r\n" + result.diagnostic,
                    kDateEditorTitle, Icon::Exclamation, Buttons::Ok);
        return false;
    }
    switch (result.status) {
    case EditStatus::Failed:
        ui_.message(failureText(kUpdateAction, result.diagnostic), kDateEditorTitle,
                    Icon::Exclamation, Buttons::Ok);
        return false;
    case EditStatus::NoRow:
        ui_.message(kNoInterval, kDateEditorTitle, Icon::Exclamation, Buttons::Ok);
        break;
    case EditStatus::Changed:
        ui_.message(kDateChanged, kDateEditorTitle, Icon::None, Buttons::Ok);
        break;
    }
    // The same key again, everything below the station refilled, and the interval as it
    // now stands chosen: a second "Применить" works on the same interval, never on another
    // key's.
    const bool wasSelectingFirst = selectFirst;
    selectFirst = false;
    preselect(stations, station);
    intervals.clear();
    stationChosen();
    selectFirst = wasSelectingFirst || !intervals.empty();
    const Interval now = result.status == EditStatus::Changed ? changed : old;
    for (int i = 0; i < static_cast<int>(intervals.entries.size()); ++i) {
        const Interval listed = entryInterval(intervals.entries[static_cast<std::size_t>(i)]);
        if (listed.start == now.start && listed.end == now.end) {
            pickInterval(i);
            break;
        }
    }
    return result.status == EditStatus::Changed;
}

} // namespace orv::gainbook
