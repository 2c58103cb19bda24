// What an export tells about the inventory it wrote: what it left out, changed or found
// doubtful. Each problem is a kind, the key it concerns (a station code, a channel
// "NET.STA.LOC.CHA", or a channel epoch "NET.STA.LOC.CHA start") and its values; it is
// rendered in English for the command line and the service's log, in Russian for the
// window.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace orv::stationxml {

enum class ProblemKind {
    // Stations (key: the station code).
    NoSiteRow,           // its responses are left out
    ListedUnderDefault,  // no response: listed under the network in values[0]
    StationValueRefused, // left out: element values[0] holds values[1]
    StationValueMissing, // left out: SITE has no values[0] (a column name)
    ElevationMissing,    // SITE has no ELEV: Elevation written as 0
    ChannelValueRefused, // left out: channel values[0]'s element values[1] holds values[2]
    NetworkCodeNotFdsn,  // key: the code
    StationCodeNotFdsn,  // key: the code
    LocationCodeNotFdsn, // key: the code
    ChannelCodeNotFdsn,  // key: the code
    TextReplaced,        // what values[0] names holds characters XML 1.0 cannot carry
    // Channels (key: NET.STA.LOC.CHA).
    SampleRateLeftOut, // SPS values[0] is not finite
    EpochsOverlap,     // interval values[0]-values[1] overlaps values[2]-values[3]
    // Channel epochs (key: NET.STA.LOC.CHA start): no response exported, and why.
    NoCalibrationFrequency,
    NoResponseText,
    SacUnreadable,
    NoGainAtFrequency,
    NoSensitivityFromConstant,
    PolesZerosNotFinite,
    FapTooFewRows,
    FapNotIncreasing,
    FapNotFinite,
    FapNoSensitivity,
    // The stored SENS values[0] is more than 1 % away from values[1], computed from the text.
    SensDiffers,
};

struct Problem {
    ProblemKind kind;
    std::string key;
    // Numbers and dates as the C locale prints them; an empty date is an open end.
    std::vector<std::string> values;
};

enum class Language { English, Russian };

// A number for a problem's values: six significant digits in the C locale ("3.27508e+09").
std::string reportNumber(double value);

// One line of text for the problem.
std::string render(const Problem& problem, Language language);

// The problems one per line (separated by separator), at most maxLines of them, then
// "and N more" in the language's words.
std::string renderLines(const std::vector<Problem>& problems, Language language,
                        std::size_t maxLines, const std::string& separator);

} // namespace orv::stationxml
