// Initialisation files with Windows semantics: "[section]" headers and "key=value"
// lines, section and key names compared without regard to case, defaults for what is
// missing, values cut to the caller's buffer size (never overrun), and writes that
// create the file, section or key and keep everything else.
//
// A write replaces the file whole and atomically (a temporary file beside it, renamed
// over it), so that a reader sees the old file or the new one, never a part. A file that
// exists but cannot be read as text is not written at all: nothing it holds is lost.
//
// Files written by older Windows installations may be in Windows-1251: they are read
// correctly and written back in the encoding they had.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace orv::ini {

class IniFile {
public:
    explicit IniFile(std::filesystem::path path);

    const std::filesystem::path& path() const { return path_; }
    bool exists() const;

    // The value of section/key, or fallback when the file, section or key is missing.
    // At most maxChars characters are returned; a longer value is cut.
    std::string read(std::string_view section, std::string_view key, std::string_view fallback,
                     std::size_t maxChars = 255) const;
    // The value of section/key cut to maxChars characters; nullopt when the file, section
    // or key is missing (an empty value is a value).
    std::optional<std::string> find(std::string_view section, std::string_view key,
                                    std::size_t maxChars = 255) const;
    // The value read as an integer the way atoi reads it; fallback when missing.
    int readInt(std::string_view section, std::string_view key, int fallback) const;
    // Writes section/key = value, creating what is missing. False when the file cannot
    // be read or written.
    bool write(std::string_view section, std::string_view key, std::string_view value) const;
    // Writes several keys of one section in one replacement of the file.
    bool write(std::string_view section,
               const std::vector<std::pair<std::string, std::string>>& values) const;

private:
    std::filesystem::path path_;
};

// The entry of dir whose name equals name without regard to case; dir / name when
// there is none (so that a write creates it under that name).
std::filesystem::path findNoCase(const std::filesystem::path& dir, std::string_view name);

// The directory of the settings shared by all programs (the Windows directory of the
// original platform): $ORV_SETTINGS_DIR, else ${XDG_CONFIG_HOME:-$HOME/.config}/orv.
std::filesystem::path systemSettingsDir();
// The shared settings file: "orv.ini" in the system settings directory, matched without
// regard to case; "ORV.ini" there when none exists yet.
std::filesystem::path systemSettingsFile();

// The machine's settings folder: $ORV_MACHINE_SETTINGS_DIR, else /etc/orv.
std::filesystem::path machineSettingsDir();
// The machine's shared settings file, found there as systemSettingsFile() is found in its
// folder.
std::filesystem::path machineSettingsFile();

// Settings files read as one: each key comes from the first file that holds it. The first
// file is the one changed settings are written back to.
class SettingsFiles {
public:
    SettingsFiles() = default; // none: every key is missing
    // One file alone (what tests and the per-directory files use).
    SettingsFiles(std::filesystem::path file); // NOLINT: a file is a list of one
    SettingsFiles(const char* file) : SettingsFiles(std::filesystem::path(file)) {} // NOLINT
    explicit SettingsFiles(std::vector<std::filesystem::path> files);

    const std::vector<std::filesystem::path>& files() const { return files_; }
    // The first file; empty when there is none.
    std::filesystem::path writable() const { return files_.empty() ? "" : files_.front(); }
    bool anyExists() const;
    std::optional<std::string> find(std::string_view section, std::string_view key,
                                    std::size_t maxChars = 255) const;
    std::string read(std::string_view section, std::string_view key, std::string_view fallback,
                     std::size_t maxChars = 255) const;
    // The files for a message: "A, B".
    std::string names() const;

private:
    std::vector<std::filesystem::path> files_;
};

// The shared settings every program reads: the user's file (systemSettingsFile()), then the
// machine's (machineSettingsFile()), so that a user's own key wins and an account without
// a file of its own works with the machine's. Programs write back only to the user's.
SettingsFiles sharedSettings();

} // namespace orv::ini
