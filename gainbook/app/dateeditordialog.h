// The dialog "Редактор времени" without its widgets: it changes the validity interval
// (STARTDATE, ENDDATE) of one stored response and nothing else. Its own cascade of lists
// (station, network, channel, location, then the intervals, oldest first) starts from the
// database panel's choice; "Применить" writes the two new dates of the chosen interval.
// No other interval is adjusted: dates that overlap another interval of the key (two open
// intervals among them) are stored as given once the user has said so.
#pragma once

#include "db/browser.h"
#include "db/datetext.h"
#include "db/historyedit.h"
#include "odbc/odbc.h"
#include "ui/interaction.h"

#include <functional>
#include <string>

namespace orv::gainbook {

inline constexpr const char* kDateEditorTitle = "Редактор времени";
inline constexpr const char* kNewStartField = "Новая STARTDATE";
inline constexpr const char* kNewEndField = "Новая ENDDATE";

class DateEditorDialog {
public:
    // The database panel's station, network, channel and location (the interval is not
    // used) and the main window's connection.
    DateEditorDialog(orv::odbc::Connection& connection, orv::ui::Interaction& ui,
                     const BrowserKey& panelKey);

    // The lists, sorted alphabetically; the intervals so come oldest first.
    ChoiceList networks;
    ChoiceList stations;
    ChoiceList channels;
    ChoiceList locations;
    ChoiceList intervals;
    // "Новая STARTDATE" and "Новая ENDDATE" (empty: the interval stays or becomes open).
    std::string startEdit;
    std::string endEdit;

    // The current choice, taken from the lists by every step of the cascade.
    std::string station;
    std::string network;
    std::string channel;
    std::string location;
    // While set, every refilled list selects its first entry; set from the first filled
    // interval list on (the user then chooses by hand). The panel's codes, empty ones
    // included, are looked for as they are: a code not found selects nothing.
    bool selectFirst = false;

    // Fills the lists from the stations down, preselecting the panel's choice.
    void initialise();
    // The user picks an entry, and the cascade goes on from that list.
    void pickStation(int index);
    void pickNetwork(int index);
    void pickChannel(int index);
    void pickLocation(int index);
    void pickInterval(int index);
    // "Применить": new dates that are no dates are refused before any statement; dates that
    // overlap another interval of the key are asked about (Да/Нет). True when the interval
    // was changed; the lists are then refilled from the station down, staying on the key
    // and on the changed interval.
    bool apply();

private:
    enum class Step { Stopped, Done };
    Step fill(ChoiceList& target, const ListRead& read);
    void preselect(ChoiceList& list, const std::string& given);
    void stationChosen();
    void networkChosen();
    void channelChosen();
    void locationChosen();
    void intervalChosen();

    orv::odbc::Connection& connection_;
    orv::ui::Interaction& ui_;
};

// Shows the dialog modally (it is initialised already).
using DateEditorRunner = std::function<void(DateEditorDialog&)>;

} // namespace orv::gainbook
