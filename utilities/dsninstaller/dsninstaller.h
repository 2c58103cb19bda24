// DsnInstaller: prepares a machine for the ORV programs in one run. It reads the database
// directory from ORV.ini, then installs the driver manager, registers the embedded SQLite
// driver under the name "ACCESS", registers the translator (nothing to do on unixODBC)
// and creates the system data source ORV on the database file ORV.db in that directory,
// which it creates empty when it is missing. Every failing step is reported with its own
// text and the run goes on.
#pragma once

#include "odbc/installer.h"
#include "ui/interaction.h"

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace orv::dsninstaller {

inline constexpr const char* kDriverName = "ACCESS";
inline constexpr const char* kDataSourceName = "ORV";
inline constexpr const char* kDatabaseFileName = "ORV.db";

// [DATABASE] DIR of the settings file (at most 255 characters, "/" when missing) with one
// closing "/" removed: "/data/orv/" and "/data/orv" both give "/data/orv", "/" gives "".
std::string databaseDirectory(const std::filesystem::path& settingsFile);
// The database file in a directory from databaseDirectory ("" is the root directory).
std::string databaseFile(std::string_view directory);

// What the driver is registered with, its name apart.
std::vector<odbc::installer::Attribute> driverAttributes(std::string_view driverLibrary);
// What the data source is created with, its name apart.
std::vector<odbc::installer::Attribute> dataSourceAttributes(std::string_view directory);

// The whole run on the given settings file and driver library. 0 when every step
// succeeded, 1 when one or more failed (each reported through ui).
int install(ui::Interaction& ui, const std::filesystem::path& settingsFile,
            const std::string& driverLibrary);

} // namespace orv::dsninstaller
