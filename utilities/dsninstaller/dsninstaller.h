// DsnInstaller: prepares a machine for the ORV programs in one run. It reads the database
// directory from the machine's ORV.ini (else the user's), then installs the driver manager,
// registers the embedded SQLite driver under the name "ACCESS", registers the translator (nothing
// to do on unixODBC) and creates the system data source ORV on the database file ORV.db in that
// directory, which it creates empty when it is missing. Every failing step is reported with its own
// text and the run goes on.
#pragma once

#include "odbc/installer.h"
#include "ui/interaction.h"

#include <filesystem>
#include <iosfwd>
#include <string>
#include <string_view>
#include <vector>

namespace orv::dsninstaller {

inline constexpr const char* kDriverName = "ACCESS";
inline constexpr const char* kDataSourceName = "ORV";
inline constexpr const char* kDatabaseFileName = "ORV.db";
// The system group whose members may write the database (the package makes it).
inline constexpr const char* kWritersGroup = "orv";

// The settings files read, in order: the machine's ORV.ini, then the user's (each name
// matched without regard to case; ini::machineSettingsDir() says where the machine's is).
std::vector<std::filesystem::path> settingsFiles();

// Where the database goes: [DATABASE] DIR of the first settings file that names one (at
// most 255 characters), enclosing quotes stripped as Windows strips them and one closing
// "/" removed: "/data/orv/" and "/data/orv" both give "/data/orv", "/" gives "".
struct DatabaseDirectory {
    std::string directory;
    std::filesystem::path settingsFile; // the file that named it; empty when none did
    std::string refusal; // why nothing may be installed; empty when directory is usable
};
DatabaseDirectory databaseDirectory(const std::vector<std::filesystem::path>& settingsFiles);
// The database file in a directory from databaseDirectory ("" is the root directory).
std::string databaseFile(std::string_view directory);

// What the driver is registered with, its name apart.
std::vector<odbc::installer::Attribute> driverAttributes(std::string_view driverLibrary);
// What the data source is created with, its name apart.
std::vector<odbc::installer::Attribute> dataSourceAttributes(std::string_view directory);

// The whole run on the given settings files and driver library. 0 when every step
// succeeded (what is registered is then printed on out: the driver, the data source and
// the database file with its group and mode), 1 when one or more failed (each reported
// through ui) or when no usable directory is named (then nothing is created or
// registered). A database directory and file made here belong to the group kWritersGroup
// where it exists: the directory setgid 2775, the file 0664.
int install(ui::Interaction& ui, std::ostream& out,
            const std::vector<std::filesystem::path>& settingsFiles,
            const std::string& driverLibrary);

} // namespace orv::dsninstaller
