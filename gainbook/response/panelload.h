// Loading a response file into the file panel in one call, for callers without a
// database (the command-line companion). The main window runs the same two steps with
// its look-up in the station tables in between:
//   formats::readResponseFile -> (look-up when lookUpStationTables) -> panelCalib,
// and applies PanelLoad::cleared when the evaluation refuses the text.
#pragma once

#include "formats/responsefile.h"
#include "response/evaluation.h"

#include <string>

namespace orv::gainbook::response {

enum class PanelLoadStatus { Loaded, Cancelled, WrongFormat, TooLong, TooManyRows, Unreadable };

struct PanelLoad {
    PanelLoadStatus status = PanelLoadStatus::Loaded;
    formats::LoadedResponseFile file;
    CalibResult calib;
    // True when the panel's CALIB, network, station, channel, location and time fields
    // and its text are to be emptied (a text refused by the evaluation).
    bool cleared = false;
    std::string refusal; // Unreadable: what cannot be read, on which line of the file
};

PanelLoad loadIntoPanel(std::string_view bytes, std::string_view fileName,
                        std::string_view fileTime, const formats::FormatQuestion& askFormat,
                        const CalibInputs& calibInputs);

} // namespace orv::gainbook::response
