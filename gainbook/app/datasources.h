// A small editor of ODBC data sources over the installer library's profile calls, for
// platforms whose driver manager has no graphical administrator: the user and system
// data sources, each with its driver (one of the installed drivers) and its attributes
// as key/value rows. Written into the driver manager's own odbc.ini files.
#pragma once

#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace orv::gainbook {

struct DataSourceDefinition {
    std::string name;
    bool system = false;
    std::string driver;
    std::vector<std::pair<std::string, std::string>> attributes; // without "Driver"
};

// The drivers registered with the driver manager.
std::vector<std::string> installedDrivers();
// The data sources of one kind, in the order of their file.
std::vector<std::string> dataSourceNames(bool system);
// One data source as stored; nullopt when there is none of that name.
std::optional<DataSourceDefinition> readDataSource(const std::string& name, bool system);

// Writes a data source (replacing one of the same name and kind: its values are written
// over the old ones and only then the attributes no longer given are removed, so that a
// failed write never loses the data source). On failure, error holds the installer's
// message.
bool writeDataSource(const DataSourceDefinition& definition, std::string& error);
bool removeDataSource(const std::string& name, bool system, std::string& error);

// What is wrong with a definition before it is written ("" when nothing).
std::string validateDataSource(const DataSourceDefinition& definition);

} // namespace orv::gainbook
