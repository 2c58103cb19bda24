// Reading a response file into the file panel: the bytes of the file become the text the
// panel shows, its kind and the fields its header gives. The look-up of a bare file in
// the station tables and the evaluation of CALIB are separate steps (see
// response/panelload.h), so that the database layer can run in between.
//
// Recognised first lines:
//   "# Station ..."  a pole-zero file exported by this program, with "# Channel ",
//                    "# Location ", "# Network " and "# Time " lines (or the older
//                    three-line form without location and network);
//   "CAL2 ..."       a FAP file with the two-line calibration header; the flavour word at
//                    index 28 of the second line tells ORV from GSE2 amplitudes;
//   anything else    a bare file whose format the user names; its first line is kept
//                    only for a pole-zero text.
#pragma once

#include "formats/responsetext.h"

#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace orv::gainbook::formats {

// Fields of the file panel that a header sets; those left empty keep what they held.
struct PanelFields {
    std::optional<std::string> station;
    std::optional<std::string> channel;
    std::optional<std::string> location;
    std::optional<std::string> network;
    std::optional<std::string> time;
};

struct LoadedResponseFile {
    LoadedFileKind kind = LoadedFileKind::Sac;
    std::string label; // "  name (SAC)" or "  name (FAP)"
    std::string text;  // lines ended by CR LF, tabs turned to blanks, FAP in triplets
    PanelFields fields;
    // Bare files only: the file time, the interval to select after writing, and the
    // request to look the file name up in the station tables.
    std::optional<std::string> intervalToSelect;
    bool lookUpStationTables = false;
};

enum class ReadStatus {
    Read,
    Cancelled,   // the user named no format
    WrongFormat, // a pole-zero text, or no FAP table, named as FAP: kWrongFormatMessage
    TooLong,     // a text beyond the working buffer: report kTextTooLongMessage
    TooManyRows, // a FAP table of more than kMaxFapRows rows: kTooManyFapRowsMessage
    Unreadable,  // a byte or a number that cannot be read: ReadResult::refusal names the line
};

// What to tell the user about a refused file; nullptr for Read and Cancelled, and for
// Unreadable, whose message is the result's own.
const char* refusalMessage(ReadStatus status);

struct ReadResult {
    ReadStatus status = ReadStatus::Read;
    LoadedResponseFile file;
    std::string refusal; // Unreadable: what cannot be read, and on which line of the file
};

// What to tell the user about a refused file ("" for Read and Cancelled).
std::string refusalText(const ReadResult& result);

// Asked for a bare file: the format the user names, nothing when the user cancels.
using FormatQuestion = std::function<std::optional<LoadedFileKind>()>;

// Reads a file's bytes (UTF-8 or Windows-1251) as the file panel loads them. fileName is
// the name without its directory, fileTime the file's modification time as a date text.
// A UTF-8 byte-order mark is skipped and blanks around header values are dropped.
// Refused as Unreadable, naming the line: a control character other than tab, CR and LF
// (a NUL byte among them); a file that is UTF-8 but for stray bytes (more characters of
// two or more bytes that read as UTF-8 than bytes that do not: a Windows-1251 text seldom
// forms such characters, and decoding it all as Windows-1251 would change its codes); a
// number of the pole-zero text or a frequency or amplitude of a FAP table that is not
// wholly a number (readFileNumber).
// A file named as FAP is refused when it holds a pole-zero text (wherever "ZEROS" stands,
// the title line it drops included) or a frequency or amplitude that is no number.
ReadResult readResponseFile(std::string_view bytes, std::string_view fileName,
                            std::string_view fileTime, const FormatQuestion& askFormat);

// Whether the first line of a FAP text holds just frequency and amplitude (two words in
// its first 31 characters).
bool isTwoColumnFap(std::string_view text);

// The whole file, or nothing when it cannot be read (errorText, the path and the reason,
// then says why). Only a regular file of at most kMaxFileBytes bytes is read; a
// directory, a pipe or a device is refused without waiting on it.
std::optional<std::string> readFileBytes(const std::string& path, std::string& errorText);
// The file's modification time as "%Y.%m.%d %H:%M:%S" in local time; empty when unknown.
std::string fileTimeText(const std::string& path);
// The name without its directory.
std::string baseName(std::string_view path);

} // namespace orv::gainbook::formats
