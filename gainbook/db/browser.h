// The database panel "В БАЗЕ": five lists narrow the stored responses of CALIBRATION
// down to one record (network, station, channel, location code, validity interval),
// whose SAC or FAP text is shown with its SENS and FREQ and their units.
//
// Plain state and handlers; the window binds its controls to them and calls the
// handlers when the user picks an entry. A selection made here does not count as the
// user's: each step calls the next one directly.
#pragma once

#include "odbc/odbc.h"
#include "ui/interaction.h"

#include <functional>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

namespace orv::gainbook {

// A drop-down list: its entries and the selected one (-1: none).
struct ChoiceList {
    std::vector<std::string> entries;
    int selected = -1;
    bool sorted = true; // sorted alphabetically, else kept in the order added

    void clear();
    void add(const std::string& entry);
    // The selected entry's text; "" when nothing is selected.
    std::string selectedText() const;
    // Index of the entry equal to prefix, else of the first entry that begins with prefix
    // without regard to case (an empty prefix matches the first entry); -1 when none does.
    int findPrefix(const std::string& prefix) const;
    bool empty() const { return entries.empty(); }
};

// The record the panel's lists point at.
struct BrowserKey {
    std::string station;
    std::string network;
    std::string channel;
    std::string location;
    std::string interval;
};

// The statement that fills the first list (every station, or every network), in the form
// that the back end with this DBMS name runs fast.
const char* firstListStatement(bool byStation, std::string_view dbmsName);

class ResponseBrowser {
public:
    ResponseBrowser(orv::odbc::Connection* connection, orv::ui::Interaction& ui);

    void setConnection(orv::odbc::Connection* connection) { connection_ = connection; }

    // --- state the window shows -------------------------------------------------------
    ChoiceList networks;
    ChoiceList stations;
    ChoiceList channels;
    ChoiceList locations;
    ChoiceList intervals{{}, -1, false};
    std::string storedText; // lines separated by "\r\n"
    // The record's text is longer than the working buffer holds: storedText is empty and
    // the user was told (formats::kTextTooLongMessage).
    bool storedTextTooLong = false;
    // What the empty text view says instead of a text: that the record holds only the
    // other text (the SAC view of a FAP table), or neither; empty while a text is shown.
    std::string storedTextNote;
    std::string sensValue;
    std::string freqValue;
    std::string sensLabel = "SENS";
    std::string freqLabel = "FREQ";

    bool viewSac = true;
    bool browseByStation = true;

    // Start selection: while requested, each refilled list preselects the remembered value.
    bool startSelectionRequested = false;
    std::string stationToSelect;
    std::string networkToSelect;
    std::string channelToSelect;
    std::string locationToSelect;
    std::string intervalToSelect;
    bool startSelectionMissed = false;
    // Reads that failed (a statement or a fetch; each shown to the user) since construction.
    int failedReads = 0;

    // --- operations ---------------------------------------------------------------------
    // Refills everything from the first list down.
    void fillFirstList();
    void stationChosen();
    void networkChosen();
    void channelChosen();
    void locationChosen();
    void intervalChosen();
    // The user picks an entry (index into the list) and the cascade goes on from there.
    void pickStation(int index);
    void pickNetwork(int index);
    void pickChannel(int index);
    void pickLocation(int index);
    void pickInterval(int index);
    // "SAC" (true) or "FAP" (false): shows the record again with the lists unchanged.
    void chooseView(bool sac);
    // "Станция" (true) or "Сеть" (false): refills from the first list when it changes.
    void chooseBrowseOrder(bool byStation);
    // Requests that the next fill selects this key (after a write or a delete).
    void requestSelection(const std::string& station, const std::string& network,
                          const std::string& channel, const std::string& location);

    BrowserKey currentKey() const;
    // Empties the five lists, the text view and the values; labels back to SENS/FREQ.
    void fullReset();

    // Called after every operation that changed the state.
    std::function<void()> changed;

private:
    enum class Fill { NoStatement, Empty, Filled };
    enum class Miss { Never, IfNotEmpty };

    Fill fill(ChoiceList& target, const char* sql, std::initializer_list<std::string_view> codes,
              bool readIntervals = false);
    void preselect(ChoiceList& list, const std::string& remembered, Miss miss);
    void showRecord();
    void unitLabel(const char* table, const char* sql, long id, std::string& label,
                   const char* plain);
    void errorBox(const std::string& diagnostic);
    void notify();

    orv::odbc::Connection* connection_;
    orv::ui::Interaction& ui_;
};

} // namespace orv::gainbook
