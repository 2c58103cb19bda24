// The SAC pole-zero text and the record read from it.
//
//   ZEROS n        n zeros follow, one "real imaginary" pair a line; fewer lines than n
//   ...            mean that the missing zeros lie at the origin
//   POLES m        m poles follow
//   ...
//   CONSTANT c     the gain constant
//
// Every number is read whole (readFileNumber: the exponent may be marked "D"); the
// frequency-response window's lenient reader takes what atof reads of a token that is not.
// Text before "ZEROS" is ignored. A GSE1 calibration
// block ("CAL1 ... PAZ", then the pole count and poles, the zero count and zeros, and the
// gain as the constant) is read as the same record.
#pragma once

#include <cstddef>
#include <string_view>
#include <vector>

namespace orv::gainbook::formats {

struct Complex {
    double re = 0.0;
    double im = 0.0;
    friend bool operator==(const Complex&, const Complex&) = default;
};

struct PoleZeroResponse {
    int zeroCount = 0; // as read; an evaluation may use fewer
    int poleCount = 0;
    std::vector<Complex> zeros;
    std::vector<Complex> poles;
    double constant = 0.0;
};

// The main window's reader. False, with the record emptied, when the text is not a
// pole-zero text: no "ZEROS", no "POLES" or "CONSTANT" belonging to it, or counts far
// beyond the lines the text holds, or a count or value that is not wholly a number: then
// badLine, when given, is set to that line (from 1). The caller reports
// kWrongFormatMessage, or the bad line.
bool readPoleZeroText(std::string_view text, PoleZeroResponse& response,
                      std::size_t* badLine = nullptr);

// Whether a file's text is a pole-zero response: "ZEROS" stands anywhere in it, or its
// first line is a GSE1 "CAL1 ... PAZ" line. Such a file is no FAP table.
bool isPoleZeroText(std::string_view text);

// The frequency-response window's reader: never refuses. A text without "ZEROS" is read
// from its sixth character on; a text the main window's reader refuses for its counts
// or missing sections leaves an empty record (no zeros, no poles, constant 0).
void readPoleZeroTextLenient(std::string_view text, PoleZeroResponse& response);

} // namespace orv::gainbook::formats
