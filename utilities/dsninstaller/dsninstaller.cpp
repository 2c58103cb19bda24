#include "dsninstaller.h"

#include "ini/inifile.h"

#include <odbcinst.h>

#include <fstream>
#include <functional>
#include <system_error>

namespace orv::dsninstaller {

namespace {

using odbc::installer::Attribute;
namespace installer = odbc::installer;

// The settings value's limit, as every reader of ORV.ini has it.
constexpr std::size_t kDirectoryChars = 255;

std::string nulList(std::string_view first, const std::vector<Attribute>& attributes) {
    std::vector<std::string> texts{std::string(first)};
    for (const Attribute& a : attributes)
        texts.push_back(a.text());
    return installer::nulList(texts);
}

bool installDriverManager() {
    char path[1280] = {};
    WORD length = 0;
    return SQLInstallDriverManager(path, sizeof path, &length);
}

bool installDriver(const std::string& library) {
    std::error_code ec;
    if (!std::filesystem::is_regular_file(library, ec))
        return false;
    const auto attributes = driverAttributes(library);
    // Registering again would only raise the usage count: a second run changes nothing.
    if (installer::systemSectionHas(installer::kDriversFile, kDriverName, attributes))
        return true;
    const std::string list = nulList(kDriverName, attributes);
    char path[128] = {};
    WORD length = 0;
    DWORD usageCount = 0;
    return SQLInstallDriverEx(list.c_str(), nullptr, path, sizeof path, &length,
                              ODBC_INSTALL_COMPLETE, &usageCount);
}

// The drivers speak UTF-8 and need no translator; unixODBC's call is a stub that fails
// without leaving an error record. Only a failure that leaves one is reported.
bool installTranslator(WORD request) {
    const std::string list = installer::nulList(
        {"MS Code Page Translator", "Translator=MSCPXL32.DLL", "Setup=MSCPXL32.DLL"});
    char path[128] = {};
    WORD length = 0;
    DWORD usageCount = 0;
    return SQLInstallTranslatorEx(list.c_str(), nullptr, path, sizeof path, &length, request,
                                  &usageCount) ||
           installer::lastError().empty();
}

// No driver on unixODBC has a setup library that creates data sources, so where the
// driver's own configuration fails the data source is written directly.
bool configureDataSource(const std::string& directory) {
    const auto attributes = dataSourceAttributes(directory);
    const std::string list = nulList(std::string("DSN=") + kDataSourceName, attributes);
    return SQLConfigDataSource(nullptr, ODBC_ADD_SYS_DSN, kDriverName, list.c_str()) ||
           installer::writeSystemDataSource(kDataSourceName, kDriverName, attributes);
}

bool createDatabaseFile(const std::filesystem::path& file) {
    std::error_code ec;
    if (std::filesystem::exists(file, ec))
        return true;
    std::filesystem::create_directories(file.parent_path(), ec);
    return static_cast<bool>(std::ofstream(file, std::ios::app | std::ios::binary));
}

} // namespace

std::string databaseDirectory(const std::filesystem::path& settingsFile) {
    std::string dir = ini::IniFile(settingsFile).read("DATABASE", "DIR", "/", kDirectoryChars);
    if (dir.ends_with('/'))
        dir.pop_back();
    return dir;
}

std::string databaseFile(std::string_view directory) {
    return std::string(directory) + "/" + kDatabaseFileName;
}

std::vector<Attribute> driverAttributes(std::string_view driverLibrary) {
    return {{"Driver", std::string(driverLibrary)},
            {"FileUsage", "2"},
            {"FileExtns", "*.db"},
            {"Threads", "3"}};
}

std::vector<Attribute> dataSourceAttributes(std::string_view directory) {
    const std::string file = databaseFile(directory);
    return {{"UID", "ORV"},
            {"PWD", "KTZ"},
            {"DBQ", file},
            {"DefaultDir", std::string(directory)},
            {"FIL", "MS Access"},
            // The key the SQLite driver opens its file by.
            {"Database", file}};
}

int install(ui::Interaction& ui, const std::filesystem::path& settingsFile,
            const std::string& driverLibrary) {
    const std::string directory = databaseDirectory(settingsFile);
    const std::string file = databaseFile(directory);
    const std::pair<std::string, std::function<bool()>> steps[] = {
        {"Error in SQLInstallDriverManager", installDriverManager},
        {"Error in SQLInstallDriverEx", [&] { return installDriver(driverLibrary); }},
        {"Error in SQLInstallTranslatorEx ODBC_INSTALL_INQUIRY",
         [] { return installTranslator(ODBC_INSTALL_INQUIRY); }},
        {"Error in SQLInstallTranslatorEx ODBC_INSTALL_COMPLETE",
         [] { return installTranslator(ODBC_INSTALL_COMPLETE); }},
        {"Error in SQLConfigDataSource", [&] { return configureDataSource(directory); }},
        {"Cannot create the database file " + file, [&] { return createDatabaseFile(file); }},
    };
    int status = 0;
    for (const auto& [failure, step] : steps) {
        if (!step()) {
            ui.message(failure, "", ui::Icon::None, ui::Buttons::Ok);
            status = 1;
        }
    }
    return status;
}

} // namespace orv::dsninstaller
