// Start-up of the station editor: the command line, the connection settings resolved
// from it and the two settings files, the connect string, and the connections.
#pragma once

#include "ini/inifile.h"
#include "odbc/odbc.h"
#include "ui/interaction.h"

#include <filesystem>
#include <memory>
#include <string>
#include <string_view>

namespace orv::sitewright {

// Limits of the start-up values (characters).
inline constexpr std::size_t kMaxCommandLine = 1023;
inline constexpr std::size_t kMaxDsn = 31;
inline constexpr std::size_t kMaxUserOrPassword = 63;
inline constexpr std::size_t kMaxRequestedStation = 19;

// What the command line gave. Empty texts mean "not given".
struct StartupValues {
    std::string dsn;
    std::string user;
    std::string password;
    bool checkSchema = false;
    std::string requestedStation; // upper case
};

// Splits at blanks and reads each token: "-x"/"/x" switches (CHKDB), ODBC=, USER=,
// PASSWORD=, a bare CHKDB, and otherwise the station to show (the last one wins).
// Values longer than their limits are cut.
StartupValues parseCommandLine(std::string_view commandLine);

struct ConnectionSettings {
    std::string dsn = "ORV";
    std::string user = "ORV";
    std::string password = "KTZ";
};

// Each value independently: the command line, else the local file, else the shared ones.
ConnectionSettings resolveSettings(const StartupValues& values,
                                   const std::filesystem::path& localFile,
                                   const orv::ini::SettingsFiles& shared);
// The local settings file: Sitewright.ini in the current directory.
std::filesystem::path localSettingsFile();

// "DSN=...;UID=...;PWD=...;"
std::string connectString(const ConnectionSettings& settings);

// The connection kept open while the dialog runs. On failure shows one of the two
// start-up messages and returns nullptr.
std::unique_ptr<orv::odbc::Connection> openStartupConnection(const ConnectionSettings& settings,
                                                             orv::ui::Interaction& ui);
// A connection for one operation; nullptr when it cannot be opened (the caller says so).
std::unique_ptr<orv::odbc::Connection> openOperationConnection(const ConnectionSettings& settings);

// Whether the table holds a row of the station (on the start-up connection); false
// also when the count cannot be run.
bool stationCount(orv::odbc::Connection& connection, std::string_view table,
                  std::string_view station);

} // namespace orv::sitewright
