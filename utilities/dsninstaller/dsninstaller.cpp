#include "dsninstaller.h"

#include "ini/inifile.h"
#include "text/text.h"

#include <odbcinst.h>

#include <fcntl.h>
#include <functional>
#include <grp.h>
#include <optional>
#include <ostream>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>

namespace orv::dsninstaller {

namespace {

using odbc::installer::Attribute;
namespace installer = odbc::installer;

// The settings value's limit, as every reader of ORV.ini has it.
constexpr std::size_t kDirectoryChars = 255;

constexpr const char* kNoDirectory =
    "Ни один файл настроек не задаёт каталог базы данных ([DATABASE] DIR); просмотрены:%s\n"
    "Ничего не создано и не зарегистрировано.";
constexpr const char* kNotAbsolute =
    "[DATABASE] DIR=%s в %s: не абсолютный путь этой системы (нужен путь от корня, например "
    "/srv/orv).\nНичего не создано и не зарегистрировано.";
// What a successful run prints.
constexpr const char* kSummary = "driver %s: %s (in %sodbcinst.ini)\n"
                                 "system data source %s: driver %s, database %s (in %sodbc.ini)\n"
                                 "database file %s: %s\n";
// Added to the messages of the steps that use the directory.
constexpr const char* kDirectoryFrom = "\n(каталог %s из [DATABASE] DIR файла %s)";

// A value between a pair of double or single quotes loses them.
std::string unquoted(std::string value) {
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
        value.back() == value.front())
        return value.substr(1, value.size() - 2);
    return value;
}

std::string nulList(std::string_view first, const std::vector<Attribute>& attributes) {
    std::vector<std::string> texts{std::string(first)};
    for (const Attribute& a : attributes)
        texts.push_back(a.text());
    return installer::nulList(texts);
}

// Where the driver manager keeps its files; nullopt when it does not say.
std::optional<std::string> installDriverManager() {
    char path[1280] = {};
    WORD length = 0;
    if (!SQLInstallDriverManager(path, sizeof path, &length))
        return std::nullopt;
    return std::string(path);
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

// The group of the database's writers, where the machine has it (the package makes it).
std::optional<gid_t> writersGroup() {
    const struct group* g = getgrnam(kWritersGroup);
    return g ? std::optional<gid_t>(g->gr_gid) : std::nullopt;
}

// Gives path to the writers' group with mode; true where there is no such group.
bool shareWithWriters(const std::filesystem::path& path, mode_t mode) {
    const auto gid = writersGroup();
    return !gid || (chown(path.c_str(), static_cast<uid_t>(-1), *gid) == 0 &&
                    chmod(path.c_str(), mode) == 0);
}

// A directory and file made here belong to the writers' group: the directory setgid and
// group-writable (SQLite makes its journal beside the file), the file group-writable. What
// exists already is left as it is.
bool createDatabaseFile(const std::filesystem::path& file) {
    std::error_code ec;
    if (std::filesystem::exists(file, ec))
        return true;
    const std::filesystem::path dir = file.parent_path();
    const bool newDirectory = !std::filesystem::exists(dir, ec);
    std::filesystem::create_directories(dir, ec);
    if (ec || (newDirectory && !shareWithWriters(dir, 02775)))
        return false;
    const int fd = open(file.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0)
        return false;
    close(fd);
    return shareWithWriters(file, 0664);
}

// What a successful run registered, for standard output.
std::string summary(const std::string& driverFolder, const std::string& driverLibrary,
                    const std::string& file) {
    struct stat st {};
    std::string access = "?";
    if (stat(file.c_str(), &st) == 0) {
        const struct group* g = getgrgid(st.st_gid);
        access =
            text::format("group %s, mode %03o", g ? g->gr_name : std::to_string(st.st_gid).c_str(),
                         static_cast<unsigned>(st.st_mode & 07777));
    }
    const std::string folder = driverFolder.empty() ? "" : driverFolder + "/";
    return text::format(kSummary, kDriverName, driverLibrary.c_str(), folder.c_str(),
                        kDataSourceName, kDriverName, file.c_str(), folder.c_str(), file.c_str(),
                        access.c_str());
}

} // namespace

std::vector<std::filesystem::path> settingsFiles() {
    // The reverse of what the other programs read: this one prepares the machine.
    return {ini::machineSettingsFile(), ini::systemSettingsFile()};
}

DatabaseDirectory databaseDirectory(const std::vector<std::filesystem::path>& settingsFiles) {
    DatabaseDirectory d;
    for (const std::filesystem::path& file : settingsFiles) {
        std::string dir =
            unquoted(text::trim(ini::IniFile(file).read("DATABASE", "DIR", "", kDirectoryChars)));
        if (dir.empty())
            continue;
        d.settingsFile = file;
        // A Windows path ("C:\\ORV\\DB\\") or a relative one would name a folder under
        // whatever the current directory is.
        if (!dir.starts_with('/')) {
            d.refusal = text::format(kNotAbsolute, dir.c_str(), file.string().c_str());
            return d;
        }
        if (dir.ends_with('/'))
            dir.pop_back();
        d.directory = dir;
        return d;
    }
    std::string looked;
    for (const std::filesystem::path& file : settingsFiles)
        looked += "\n  " + file.string();
    d.refusal = text::format(kNoDirectory, looked.c_str());
    return d;
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

int install(ui::Interaction& ui, std::ostream& out,
            const std::vector<std::filesystem::path>& settingsFiles,
            const std::string& driverLibrary) {
    const DatabaseDirectory found = databaseDirectory(settingsFiles);
    if (!found.refusal.empty()) {
        ui.message(found.refusal, "", ui::Icon::None, ui::Buttons::Ok);
        return 1;
    }
    const std::string& directory = found.directory;
    const std::string file = databaseFile(directory);
    const std::string from =
        text::format(kDirectoryFrom, (directory.empty() ? "/" : directory).c_str(),
                     found.settingsFile.string().c_str());
    std::string driverFolder;
    const std::pair<std::string, std::function<bool()>> steps[] = {
        {"Error in SQLInstallDriverManager",
         [&] {
             const auto folder = installDriverManager();
             driverFolder = folder.value_or("");
             return folder.has_value();
         }},
        {"Error in SQLInstallDriverEx", [&] { return installDriver(driverLibrary); }},
        {"Error in SQLInstallTranslatorEx ODBC_INSTALL_INQUIRY",
         [] { return installTranslator(ODBC_INSTALL_INQUIRY); }},
        {"Error in SQLInstallTranslatorEx ODBC_INSTALL_COMPLETE",
         [] { return installTranslator(ODBC_INSTALL_COMPLETE); }},
        {"Error in SQLConfigDataSource" + from, [&] { return configureDataSource(directory); }},
        {"Cannot create the database file " + file + from,
         [&] { return createDatabaseFile(file); }},
    };
    int status = 0;
    for (const auto& [failure, step] : steps) {
        if (!step()) {
            ui.message(failure, "", ui::Icon::None, ui::Buttons::Ok);
            status = 1;
        }
    }
    if (status == 0)
        out << summary(driverFolder, driverLibrary, file);
    return status;
}

} // namespace orv::dsninstaller
