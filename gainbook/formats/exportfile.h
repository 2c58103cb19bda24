// Writing responses to files: the name proposed for a key, the filters of the save
// dialogs, the exported SAC file (five "#" lines, then the pole-zero text), the exported
// FAP file (the CAL2/FAP2 header, then the triplets in the ORV or GSE2 flavour), and the
// file on disk, whose every line ends in CR LF and which replaces an old file only whole.
#pragma once

#include "formats/responsetext.h"

#include <optional>
#include <string>
#include <string_view>

namespace orv::gainbook::formats {

// Save dialog filters: the database panel showing SAC or FAP, the frequency-response window.
inline constexpr const char* kSacSaveFilter =
    "SAC (*.sac)|*.sac|All Files (*.*)|*.*|FAP (*.fap)|*.fap||";
inline constexpr const char* kFapSaveFilter =
    "FAP (*.fap)|*.fap|All Files (*.*)|*.*|SAC (*.sac)|*.sac||";
inline constexpr const char* kListingSaveFilter = "FAP (*.fap)|*.fap|All Files (*.*)|*.*||";

inline constexpr const char* kWrittenMessage = "Запись прошла успешно!";
inline constexpr const char* kWriteFailedMessage = "Ошибка при попытке записи в файл";
inline constexpr const char* kWriteFileCaption = "Запись в файл";

// What a window says of a file it could not write: kWriteFailedMessage, then on the next
// line the file and the system's reason ("/data/x.fap: Permission denied").
std::string writeFailedText(std::string_view path, std::string_view why);

// station + "_" + channel + "_" + year, month abbreviation and day of a time text that
// begins YYYY.MM.DD ("ABC_BHZ_2005jan31"); a month other than 01 to 12 adds nothing.
// Characters of the codes that would lead the name into another folder or that a file
// name cannot hold ("/", "\\", "..", control characters, and : * ? " < > | of Windows
// names) become "_".
std::string proposedFileName(std::string_view station, std::string_view channel,
                             std::string_view time);

// The name proposed for a key's StationXML document: network, station, location and
// channel joined by dots, then ".xml" ("XX.HO1..BHZ.xml" for the empty location), the
// characters of the codes made safe as in proposedFileName.
std::string stationXmlFileName(std::string_view network, std::string_view station,
                               std::string_view location, std::string_view channel);

// The key and time of the response a file is written for.
struct FileKey {
    std::string station;
    std::string channel;
    std::string location;
    std::string network;
    std::string time; // the interval text
};

// A response text as the writers take it: "\r\n" and "|" each end a line, every line is
// ended by "\n" (the last one too); lines counts them.
struct WriterText {
    std::string text;
    int lines = 0;
};
WriterText writerText(std::string_view text);

// The exported SAC file: "# Station ", "# Channel ", "# Location ", "# Network ", "# Time "
// lines, then the pole-zero text; lines ended by "\n".
std::string sacFileText(const FileKey& key, std::string_view text);

// The CAL2/FAP2 header for the key (the count of triplets being the lines of the text and
// the flavour word "ORV" or "GSE2"), then the text; lines ended by "\n". The file's bytes:
// the header is in Windows-1251, as the system's files are and as its columns count (a
// character Windows-1251 lacks is "?" there, as the header has always had it); the
// triplets are ASCII. Nothing, with the reason in refusal, when a frequency or an amplitude is no
// finite number or a GSE2 amplitude would read back as none (the loader refuses such a
// file).
std::optional<std::string> fapFileText(const FileKey& key, std::string_view text,
                                       LoadedFileKind flavour, std::string& refusal);

// A stored FAP text (ORV amplitudes, triplet layout) as the file of the flavour: written
// as stored for FAP-ORV; for FAP-GSE2 every amplitude a becomes 1e18 / a and every phase
// 0.0. Nothing, with the reason in refusal, when the text does not fit the working buffer
// (kTextTooLongMessage) or fapFileText refuses it.
std::optional<std::string> storedFapFileText(const FileKey& key, std::string_view storedText,
                                             LoadedFileKind flavour, std::string& refusal);

// Writes a text whose lines end in "\n" (or "\r\n") to path with CR LF line ends. The file
// is replaced whole or not at all: false, with the reason in why, when it could not be
// written, and an old file is then left as it was.
bool writeResponseFile(const std::string& path, std::string_view text, std::string& why);

} // namespace orv::gainbook::formats
