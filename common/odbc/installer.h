// The ODBC installer library (odbcinst) as the utilities use it: attribute lists for the
// installer calls, the installer's own diagnostics, and reading and writing the system
// files of the driver manager (odbcinst.ini for drivers, odbc.ini for system data
// sources) in the directory it names (ODBCSYSINI, else /etc).
//
// unixODBC keeps the first value it reads of a key, cut to the buffer of that read, for
// the rest of the process; values are therefore always read into a buffer that holds the
// longest value it keeps (about 1000 characters).
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace orv::odbc::installer {

struct Attribute {
    std::string key;
    std::string value;
    std::string text() const { return key + "=" + value; }
};

// The installer's list form: every text ended by a NUL and the list by a second one.
std::string nulList(const std::vector<std::string>& texts);

// The message of the installer's first error record after the last call; "" when the
// call left none.
std::string lastError();

// The system files, by the names the installer knows them by.
inline constexpr const char* kDriversFile = "odbcinst.ini";
inline constexpr const char* kDataSourcesFile = "odbc.ini";

// The value of section/key in a system file; nullopt when the section or key is missing.
std::optional<std::string> systemValue(const char* file, std::string_view section,
                                       std::string_view key);

// True when section of the system file has every attribute with exactly its value.
bool systemSectionHas(const char* file, std::string_view section,
                      const std::vector<Attribute>& attributes);

// Writes the system data source name with its driver and attributes through
// SQLWriteDSNToIni and SQLWritePrivateProfileString (which replace the section), creating
// the system odbc.ini when there is none. A data source that has all of them already is
// left untouched.
bool writeSystemDataSource(std::string_view name, std::string_view driver,
                           const std::vector<Attribute>& attributes);

} // namespace orv::odbc::installer
