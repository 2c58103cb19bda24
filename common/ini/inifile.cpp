#include "ini/inifile.h"

#include "files/replacefile.h"
#include "text/text.h"

// Values are handled as bytes here; encodings are dealt with around the library.
#define SI_NO_CONVERSION
#include <SimpleIni.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <system_error>

namespace orv::ini {

namespace {

struct Loaded {
    CSimpleIniA ini;             // section and key names compared without regard to case
    bool legacyEncoding = false; // the file was in Windows-1251
};

bool load(const std::filesystem::path& path, Loaded& out) {
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return false;
    std::ostringstream bytes;
    bytes << in.rdbuf();
    if (in.bad())
        return false;
    std::string data = bytes.str();
    // NUL bytes (a UTF-16 file among them) are not text this reader understands: what
    // follows them would be lost on a write.
    if (data.find('\0') != std::string::npos)
        return false;
    if (data.starts_with("\xEF\xBB\xBF"))
        data.erase(0, 3);
    if (!text::isValidUtf8(data)) {
        out.legacyEncoding = true;
        data = text::cp1251ToUtf8(data);
    }
    out.ini.SetUnicode(false);
    out.ini.SetMultiKey(false);
    return out.ini.LoadData(data) >= 0;
}

} // namespace

IniFile::IniFile(std::filesystem::path path) : path_(std::move(path)) {}

bool IniFile::exists() const {
    std::error_code ec;
    return std::filesystem::is_regular_file(path_, ec);
}

std::string IniFile::read(std::string_view section, std::string_view key, std::string_view fallback,
                          std::size_t maxChars) const {
    return find(section, key, maxChars).value_or(text::truncateChars(fallback, maxChars));
}

std::optional<std::string> IniFile::find(std::string_view section, std::string_view key,
                                         std::size_t maxChars) const {
    Loaded f;
    if (!load(path_, f))
        return std::nullopt;
    const std::string s(section);
    const std::string k(key);
    const char* v = f.ini.GetValue(s.c_str(), k.c_str(), nullptr);
    if (!v)
        return std::nullopt;
    return text::truncateChars(v, maxChars);
}

int IniFile::readInt(std::string_view section, std::string_view key, int fallback) const {
    Loaded f;
    if (!load(path_, f))
        return fallback;
    const std::string s(section);
    const std::string k(key);
    const char* v = f.ini.GetValue(s.c_str(), k.c_str(), nullptr);
    return v ? text::toInt(text::trim(v)) : fallback;
}

bool IniFile::write(std::string_view section, std::string_view key, std::string_view value) const {
    return write(section, {{std::string(key), std::string(value)}});
}

bool IniFile::write(std::string_view section,
                    const std::vector<std::pair<std::string, std::string>>& values) const {
    Loaded f;
    std::error_code ec;
    if (std::filesystem::exists(path_, ec)) {
        if (!load(path_, f))
            return false;
    } else {
        f.ini.SetUnicode(false);
        f.ini.SetMultiKey(false);
    }
    const std::string s(section);
    for (const auto& [key, value] : values)
        if (f.ini.SetValue(s.c_str(), key.c_str(), value.c_str()) < 0)
            return false;
    std::string data;
    if (f.ini.Save(data) < 0)
        return false;
    if (f.legacyEncoding)
        data = text::utf8ToCp1251(data);
    std::filesystem::create_directories(std::filesystem::absolute(path_, ec).parent_path(), ec);
    return files::replaceFile(path_, data);
}

std::filesystem::path findNoCase(const std::filesystem::path& dir, std::string_view name) {
    std::error_code ec;
    const std::filesystem::path exact = dir / std::string(name);
    if (std::filesystem::exists(exact, ec))
        return exact;
    for (std::filesystem::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
        if (text::equalsNoCase(it->path().filename().string(), name))
            return it->path();
    }
    return exact;
}

std::filesystem::path systemSettingsDir() {
    if (const char* dir = std::getenv("ORV_SETTINGS_DIR"); dir && *dir)
        return dir;
    if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg && *xdg)
        return std::filesystem::path(xdg) / "orv";
    const char* home = std::getenv("HOME");
    return std::filesystem::path(home && *home ? home : ".") / ".config" / "orv";
}

namespace {

// "orv.ini" in dir without regard to case; "ORV.ini" when there is none.
std::filesystem::path sharedFileIn(const std::filesystem::path& dir) {
    std::filesystem::path found = findNoCase(dir, "orv.ini");
    std::error_code ec;
    if (found == dir / "orv.ini" && !std::filesystem::exists(found, ec))
        return dir / "ORV.ini";
    return found;
}

} // namespace

std::filesystem::path systemSettingsFile() {
    return sharedFileIn(systemSettingsDir());
}

std::filesystem::path machineSettingsDir() {
    if (const char* dir = std::getenv("ORV_MACHINE_SETTINGS_DIR"); dir && *dir)
        return dir;
    return "/etc/orv";
}

std::filesystem::path machineSettingsFile() {
    return sharedFileIn(machineSettingsDir());
}

SettingsFiles::SettingsFiles(std::filesystem::path file) : files_{std::move(file)} {}

SettingsFiles::SettingsFiles(std::vector<std::filesystem::path> files) : files_(std::move(files)) {}

bool SettingsFiles::anyExists() const {
    std::error_code ec;
    for (const std::filesystem::path& file : files_)
        if (std::filesystem::exists(file, ec))
            return true;
    return false;
}

std::optional<std::string> SettingsFiles::find(std::string_view section, std::string_view key,
                                               std::size_t maxChars) const {
    for (const std::filesystem::path& file : files_)
        if (auto value = IniFile(file).find(section, key, maxChars))
            return value;
    return std::nullopt;
}

std::string SettingsFiles::read(std::string_view section, std::string_view key,
                                std::string_view fallback, std::size_t maxChars) const {
    return find(section, key, maxChars).value_or(text::truncateChars(fallback, maxChars));
}

std::string SettingsFiles::names() const {
    std::string names;
    for (const std::filesystem::path& file : files_)
        names += (names.empty() ? "" : ", ") + file.string();
    return names;
}

SettingsFiles sharedSettings() {
    return SettingsFiles({systemSettingsFile(), machineSettingsFile()});
}

} // namespace orv::ini
