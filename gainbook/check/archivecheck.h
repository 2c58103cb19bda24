// The whole archive (or a selection of it) read and checked: SITE and SITECHAN station by
// station, CALIBRATION through a cursor one key at a time, so that the responses are never
// held together. Knows no widgets.
#pragma once

#include "check/rules.h"

#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace orv::gainbook::check {

// What is checked: code patterns ('*' and '?'; an empty list takes every code; a location
// item "" is the empty location) and the response intervals that overlap [start, end].
// SITE and SITECHAN rows have no network: with networks given, the stations that have a
// response in one of them are checked.
struct Selection {
    std::vector<std::string> networks, stations, locations, channels;
    std::optional<odbc::Timestamp> start, end;
};

struct Counts {
    std::size_t responses = 0, keys = 0, stations = 0, channels = 0;
};

// Runs every rule over the selection, handing each finding to sink as it is found.
// responseDir: DIR/RESPONSE when it can be read. False, with the driver's message, when
// the archive cannot be read (what was found until then has been handed on).
bool checkArchive(odbc::Connection& connection, const Selection& selection,
                  const std::optional<std::filesystem::path>& responseDir, const Sink& sink,
                  Counts& counts, std::string& diagnostic);

} // namespace orv::gainbook::check
