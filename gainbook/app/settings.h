// The settings files: Gainbook.ini in the current directory and the shared ORV.ini.
// The editor reads and writes only the connection keys of section DATABASE.
#pragma once

#include "db/connection.h"
#include "ini/inifile.h"

#include <filesystem>
#include <optional>
#include <string>

namespace orv::gainbook {

// Where the connection of the start came from: the command line or the connection
// dialog, the local file, or the system file.
enum class SettingsSource { CommandLineOrDialog = 0, LocalFile = 1, SystemFile = 2 };

// "Gainbook.ini" in the given directory.
std::filesystem::path localSettingsPath(const std::filesystem::path& directory);

// The folder of the response files, DIR/RESPONSE, where the file choice of the file panel
// opens; empty when it is no folder. DIR is found as the station editor finds it: [ORV] DIR
// of "Sitewright.ini" in the current directory, else of the shared files, else the
// environment variable ORV.
std::string responseDirectory(const std::filesystem::path& currentDirectory,
                              const ini::SettingsFiles& shared);
// The folder when it is one whose entries can be listed; nullopt otherwise.
std::optional<std::filesystem::path> readableFolder(const std::string& folder);

// DATABASE/ODBC, USER and PASSWORD, each from the first file that holds it; missing keys
// read as empty; at most 63 characters.
ConnectionSettings readConnectionSettings(const ini::SettingsFiles& ini);
// Writes the three keys, creating the file, section or keys where missing.
bool writeConnectionSettings(const std::filesystem::path& file, const ConnectionSettings& settings);

// The dialog that offers to save changed settings on exit ("Сохранение текущих
// насторек...").
class SaveSettingsDialog {
public:
    // localDirectory is the current directory at the moment the dialog is shown.
    SaveSettingsDialog(ConnectionSettings current, SettingsSource source,
                       std::string startupDataSource, std::filesystem::path localDirectory,
                       std::filesystem::path systemFile);

    // True when nothing is to be offered: the settings came from the command line or the
    // dialog, or the data source is the one of the start (without regard to case).
    bool closesAtOnce() const { return closesAtOnce_; }
    bool localSelected() const { return localSelected_; }
    bool systemEnabled() const { return systemEnabled_; }

    void chooseLocal() { localSelected_ = true; }
    void chooseSystem() {
        if (systemEnabled_)
            localSelected_ = false;
    }
    const std::filesystem::path& localFile() const { return localFile_; }
    const std::filesystem::path& systemFile() const { return systemFile_; }
    const std::filesystem::path& chosenFile() const {
        return localSelected_ ? localFile_ : systemFile_;
    }

    // "Сохранять": the three keys into the chosen file.
    bool save() const;

private:
    ConnectionSettings current_;
    std::filesystem::path localFile_;
    std::filesystem::path systemFile_;
    bool closesAtOnce_ = false;
    bool localSelected_ = true;
    bool systemEnabled_ = true;
};

} // namespace orv::gainbook
