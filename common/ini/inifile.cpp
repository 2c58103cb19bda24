#include "ini/inifile.h"

#include "text/text.h"

// Values are handled as bytes here; encodings are dealt with around the library.
#define SI_NO_CONVERSION
#include <SimpleIni.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
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

// Writes all of data to fd; false on any failure.
bool writeAll(int fd, std::string_view data) {
    while (!data.empty()) {
        const ssize_t n = ::write(fd, data.data(), data.size());
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        data.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

// A new file beside target for its replacement, created with the permissions a new file
// gets or, when target exists, with its mode and (where allowed) its owner; -1 when none
// can be created. Written over POSIX calls: the standard library has neither exclusive
// creation nor fsync, and the programs that read settings without windows have no Qt.
int createReplacement(const std::filesystem::path& target, std::string& name) {
    for (int attempt = 0; attempt < 100; ++attempt) {
        name = (target.parent_path() / text::format(".%s.%ld.%d.tmp",
                                                    target.filename().string().c_str(),
                                                    static_cast<long>(::getpid()), attempt))
                   .string();
        const int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0 && errno == EEXIST)
            continue;
        if (fd < 0)
            return -1;
        struct stat old {};
        if (::stat(target.c_str(), &old) == 0) {
            if (::fchown(fd, old.st_uid, old.st_gid) != 0) {
                // Only the owner and root can give a file away; the mode is kept all the same.
            }
            ::fchmod(fd, old.st_mode & 07777);
        }
        return fd;
    }
    return -1;
}

// Replaces the file at path with data: written to a new file beside it, flushed to disk
// and renamed over it. A symbolic link is followed, so that the link stays.
bool replaceFile(const std::filesystem::path& path, std::string_view data) {
    std::error_code ec;
    std::filesystem::path target = std::filesystem::absolute(path, ec);
    if (ec)
        return false;
    if (std::filesystem::is_symlink(target, ec)) {
        target = std::filesystem::weakly_canonical(target, ec);
        if (ec)
            return false;
    }
    std::filesystem::create_directories(target.parent_path(), ec);
    std::string temporary;
    const int fd = createReplacement(target, temporary);
    if (fd < 0)
        return false;
    const bool written = writeAll(fd, data) && ::fsync(fd) == 0;
    const bool closed = ::close(fd) == 0;
    if (!written || !closed || ::rename(temporary.c_str(), target.c_str()) != 0) {
        ::unlink(temporary.c_str());
        return false;
    }
    return true;
}

} // namespace

IniFile::IniFile(std::filesystem::path path) : path_(std::move(path)) {}

bool IniFile::exists() const {
    std::error_code ec;
    return std::filesystem::is_regular_file(path_, ec);
}

std::string IniFile::read(std::string_view section, std::string_view key, std::string_view fallback,
                          std::size_t maxChars) const {
    Loaded f;
    std::string value(fallback);
    if (load(path_, f)) {
        const std::string s(section);
        const std::string k(key);
        if (const char* v = f.ini.GetValue(s.c_str(), k.c_str(), nullptr))
            value = v;
    }
    return text::truncateChars(value, maxChars);
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
    return replaceFile(path_, data);
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

std::filesystem::path systemSettingsFile() {
    const std::filesystem::path dir = systemSettingsDir();
    std::filesystem::path found = findNoCase(dir, "orv.ini");
    if (found == dir / "orv.ini" && !std::filesystem::exists(found))
        return dir / "ORV.ini";
    return found;
}

} // namespace orv::ini
