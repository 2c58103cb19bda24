// The benchmark's archive: a national network's stations and a million stored responses,
// made with the editors' own schema code, and the editors' steps timed on it.
#pragma once

#include "odbc/odbc.h"

#include <iosfwd>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

namespace orv::bench {

// 20 networks x 100 stations x 5 channels x 5 locations = 50,000 keys, 20 back-to-back
// intervals each (the newest open): 1,000,000 rows of CALIBRATION. Every station has a
// SITE row and 20 SITECHAN rows (groups 1 to 6 full, group 7 with Z and N).
inline constexpr int kNetworks = 20;
inline constexpr int kStationsPerNetwork = 100;
inline constexpr int kKeyChannels = 5;
inline constexpr int kKeyLocations = 5;
inline constexpr int kIntervals = 20;
inline constexpr int kFirstYear = 1990;
inline constexpr int kSiteChanPerStation = 20;

extern const char* const kChannelCodes[kKeyChannels];   // in ascending order
extern const char* const kLocationCodes[kKeyLocations]; // in ascending order
// The channel names of the seven groups of a station, Z, N, E.
extern const char* const kGroupChannels[7][3];

std::string networkCode(int network);            // "N00"
std::string stationCode(int network, int index); // "S0000"
std::string calibFileOf(const std::string& station, const std::string& channel);

// Failures of the benchmark itself (a statement that fails, a program that exits badly).
struct BenchError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// Runs a statement and throws BenchError with the driver's message when it fails.
void execOrThrow(odbc::Connection& connection, const std::string& sql,
                 const std::vector<odbc::Parameter>& parameters = {});

// Creates the tables through the response editor's schema check (SITE as a station
// database has it) and fills them. The pole-zero text is stored as inserts store it, its
// line breaks as "|". Progress goes to log.
void generateArchive(odbc::Connection& connection, const std::string& poleZeroText,
                     std::ostream& log);

// Step name -> the measured figure as it is printed.
using Figures = std::map<std::string, std::string>;

struct MeasureOptions {
    std::string dsn;
    std::string user = "ORV";
    std::string password = "KTZ";
    std::string cli;          // the gainbook-cli program
    std::string workDir;      // for response files and settings
    std::string poleZeroText; // the file's text, lines ended by "\n"
    int repeat = 15;          // timings of a statement; the median is printed
    int programRepeat = 3;    // runs of a program
};

// The rows of the table, in the order printed.
const std::vector<std::string>& stepNames();

Figures measureArchive(const MeasureOptions& options, std::ostream& log);

} // namespace orv::bench
