// The FAP text: one "frequency amplitude phase" triplet a line. The program's triplet
// layout is, for every line, the frequency printed "%10.7lf  ", the amplitude printed
// "%10.7le  " and the literal phase "0.0" with CR LF; phases are not kept.
//
// Two flavours differ in the amplitude: ORV amplitude = 1e18 / GSE2 amplitude, and the
// same formula turns one back into the other.
#pragma once

#include "formats/responsetext.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace orv::gainbook::formats {

// Rewrites a FAP text into the triplet layout; with invert every amplitude a becomes
// 1e18 / a (one flavour into the other). Only blanks and line ends separate the numbers.
// A last incomplete triplet leaves its one or two fields without a line end.
// Nothing when the result does not fit the working buffer.
std::optional<std::string> formatFapTriplets(std::string_view text, bool invert);

// One line of the triplet layout, CR LF included.
std::string tripletLine(double frequency, double amplitude);

// The rows of a FAP text (blanks and line ends separate its numbers) as the formatter
// writes them, a last incomplete row included. Nothing when a frequency or an amplitude
// is not wholly a finite number (readFileNumber); the phase is not read.
std::optional<std::size_t> fapRowCount(std::string_view text);

// One row of a FAP table: its frequency and amplitude (the phase is not kept).
struct FapRow {
    double frequency = 0, amplitude = 0;
    friend bool operator==(const FapRow&, const FapRow&) = default;
};

// The rows of a FAP text read as the formatter splits it (blanks, tabs and line ends
// separate the numbers; every third is the phase, not read), in the C locale whatever the
// program's. A last triplet cut after its amplitude is a row, as the CALIB evaluation takes
// it; one cut after its frequency has no amplitude and is none. Nothing when a frequency or
// an amplitude is not wholly a finite number (readFileNumber).
std::optional<std::vector<FapRow>> readFapRows(std::string_view text);

// The line (from 1) of the first frequency or amplitude of a FAP text that is not wholly
// a finite number (readFileNumber), or, with gse2, of an amplitude that inverts to none
// (0 among them); nothing when every one is.
std::optional<std::size_t> firstBadFapLine(std::string_view text, bool gse2 = false);

enum class FapCalibStatus {
    Set,         // calib holds the new CALIB text
    Unchanged,   // CALIB keeps what it held
    WrongFormat, // the text is a pole-zero text: report kWrongFormatMessage
    TooLong,     // the text does not fit the working buffer: report kTextTooLongMessage
};

struct FapCalib {
    FapCalibStatus status = FapCalibStatus::Unchanged;
    std::string calib;
};

// The sensitivity CALIB from a FAP text at the frequency of the FREQ field: 1e18 over
// the amplitude of the row with exactly that frequency, or over the mean amplitude of
// the two rows around it (the walk starts from frequency 0 and amplitude 0). Above the
// last row, or for a SAC kind or an empty text, CALIB keeps its value. Printed "%lg".
// A text of a FAP kind that contains "ZEROS" is a pole-zero text and is refused.
FapCalib evaluateFapCalib(std::string_view freqField, std::string_view text, LoadedFileKind kind);

// Whether an edit of the FREQ field runs the FAP evaluation: the text is not empty, does
// not begin with "." and reads as a number other than 0.
bool freqEditTriggersEvaluation(std::string_view freqField);

} // namespace orv::gainbook::formats
