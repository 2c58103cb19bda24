// The state of the file panel "ИЗ ФАЙЛА " of the main window. The window binds its
// controls to these fields; the load and write actions work on them without a display.
// The database panel "В БАЗЕ" is the ResponseBrowser of the database layer.
#pragma once

#include "db/browser.h"
#include "db/responsewriter.h"
#include "db/sitechanlookup.h"
#include "formats/responsefile.h"
#include "response/evaluation.h"

#include <optional>
#include <string>

namespace orv::gainbook {

// The file panel: one response prepared for the database.
struct FilePanel {
    std::string fileLabel; // "  name (SAC)" or "  name (FAP)"
    bool fileLabelVisible = false;
    std::string calib;
    ChoiceList calibUnits; // "CALIB_UNITS (SENS_UNITS)", alphabetical, accepts typed text
    std::string calibUnitText;
    std::string calper = "1.0"; // "FREQ (CALPER)"
    ChoiceList freqUnits;       // "FREQ_UNITS", alphabetical, accepts typed text
    std::string freqUnitText;
    std::string network;
    std::string station;
    std::string channel;
    std::string location;
    std::string time;
    std::string text; // lines ended by "\r\n"
    bool writeEnabled = false;
    formats::LoadedFileKind loadedKind = formats::LoadedFileKind::Sac;

    // A text refused as the wrong format: CALIB, the key and time fields and the text
    // are emptied.
    void clearRefused();
    // What a read file gives the panel: the fields its header sets (the others keep what
    // they hold), its kind and its label. The text is taken separately.
    void takeFile(const formats::LoadedResponseFile& loaded);
    // Station, channel, location (when read) and time of a bare file found in SITECHAN.
    void takeSiteChanMatch(const SiteChanMatch& match);
    // FREQ as the computations read it (C locale): the typed number, a decimal comma as
    // the point; nullopt when FREQ does not hold a finite decimal number.
    std::optional<std::string> freqText() const;
    // CALIB from the text and the chosen units (with sacOnly, only for a pole-zero text);
    // CALIB is set when the status is Set. Nothing is computed (Unchanged) while FREQ
    // does not hold a number.
    response::CalibStatus computeCalib(bool sacOnly);
    // The values the write action takes from the panel.
    ResponseInput responseInput() const;
};

} // namespace orv::gainbook
