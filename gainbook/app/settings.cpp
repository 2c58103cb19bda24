#include "settings.h"

#include "ini/inifile.h"
#include "text/text.h"

#include <cstdlib>
#include <system_error>

namespace orv::gainbook {

std::filesystem::path localSettingsPath(const std::filesystem::path& directory) {
    return directory / "Gainbook.ini";
}

std::string responseDirectory(const std::filesystem::path& currentDirectory,
                              const ini::SettingsFiles& shared) {
    constexpr std::size_t kDirChars = 4095;
    std::string dir =
        ini::IniFile(currentDirectory / "Sitewright.ini").read("ORV", "DIR", "", kDirChars);
    if (dir.empty())
        dir = shared.read("ORV", "DIR", "", kDirChars);
    if (dir.empty())
        if (const char* env = std::getenv("ORV"))
            dir = env;
    if (dir.empty())
        return {};
    const std::filesystem::path folder = std::filesystem::path(dir) / "RESPONSE";
    std::error_code ec;
    return std::filesystem::is_directory(folder, ec) ? folder.string() : std::string();
}

std::optional<std::filesystem::path> readableFolder(const std::string& folder) {
    std::error_code ec;
    if (folder.empty() || !std::filesystem::is_directory(folder, ec))
        return std::nullopt;
    std::filesystem::directory_iterator probe(folder, ec);
    if (ec)
        return std::nullopt;
    return std::filesystem::path(folder);
}

ConnectionSettings readConnectionSettings(const ini::SettingsFiles& ini) {
    ConnectionSettings s;
    s.dataSource = text::truncateChars(ini.read("DATABASE", "ODBC", "", 255), kSettingChars);
    s.user = text::truncateChars(ini.read("DATABASE", "USER", "", 255), kSettingChars);
    s.password = text::truncateChars(ini.read("DATABASE", "PASSWORD", "", 255), kSettingChars);
    return s;
}

bool writeConnectionSettings(const std::filesystem::path& file,
                             const ConnectionSettings& settings) {
    return ini::IniFile(file).write(
        "DATABASE",
        {{"ODBC", settings.dataSource}, {"USER", settings.user}, {"PASSWORD", settings.password}});
}

SaveSettingsDialog::SaveSettingsDialog(ConnectionSettings current, SettingsSource source,
                                       std::string startupDataSource,
                                       std::filesystem::path localDirectory,
                                       std::filesystem::path systemFile)
    : current_(std::move(current)), localFile_(localSettingsPath(localDirectory)),
      systemFile_(std::move(systemFile)) {
    if (source == SettingsSource::CommandLineOrDialog ||
        text::equalsNoCase(current_.dataSource, startupDataSource)) {
        closesAtOnce_ = true;
        return;
    }
    localSelected_ = true;
    systemEnabled_ = source != SettingsSource::LocalFile;
}

bool SaveSettingsDialog::save() const {
    return writeConnectionSettings(chosenFile(), current_);
}

} // namespace orv::gainbook
