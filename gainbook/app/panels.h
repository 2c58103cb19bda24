// The state of the two panels of the main window. The windows bind their controls to
// these fields; the logic that fills them from the database and from files works on them
// without a display.
#pragma once

#include <string>
#include <vector>

namespace orv::gainbook {

// A drop-down list: its entries and the chosen one (-1: none).
struct ListChoice {
    std::vector<std::string> entries;
    int selected = -1;

    void clear() {
        entries.clear();
        selected = -1;
    }
    std::string selectedText() const {
        return selected >= 0 && selected < static_cast<int>(entries.size())
                   ? entries[static_cast<std::size_t>(selected)]
                   : std::string();
    }
    // Adds an entry at its place in alphabetical order (without regard to case); returns
    // its index.
    int addSorted(const std::string& entry);
    // Selects the first entry that begins with prefix (without regard to case); false and
    // the selection unchanged when there is none.
    bool selectPrefix(const std::string& prefix);
};

// The database panel "В БАЗЕ": stored responses by network, station, channel, location
// and interval.
struct DatabasePanel {
    bool viewSac = true;         // "SAC" checked, else "FAP"
    bool browseByStation = true; // "Станция" first, else "Сеть" first
    ListChoice networks;
    ListChoice stations;
    ListChoice channels;
    ListChoice locations;
    ListChoice intervals; // in the order added; the edit field accepts typed text
    std::string intervalText;
    std::string sensLabel = "SENS";
    std::string freqLabel = "FREQ";
    std::string sens;
    std::string freq;
    std::string storedText;

    // Everything emptied, labels back to "SENS" and "FREQ".
    void reset();
};

// The file panel "ИЗ ФАЙЛА ": one response prepared for the database.
struct FilePanel {
    std::string fileLabel; // "  name (SAC)" or "  name (FAP)"
    bool fileLabelVisible = false;
    std::string calib;
    ListChoice calibUnits; // "CALIB_UNITS (SENS_UNITS)", alphabetical, accepts typed text
    std::string calibUnitText;
    std::string calper = "1.0"; // "FREQ (CALPER)"
    ListChoice freqUnits;       // "FREQ_UNITS"
    std::string freqUnitText;
    std::string network;
    std::string station;
    std::string channel;
    std::string location;
    std::string time;
    std::string text;
    bool writeEnabled = false;
    int loadedKind = 0; // 0 SAC, 1 FAP (ORV), 2 FAP (GSE2)
};

} // namespace orv::gainbook
