// Compactor: compacts the SQLite database file behind the system data source ORV in place
// and tells the outcome in one message and its exit status (1 compacted, -1 no database
// file configured, -2 the compaction failed).
#pragma once

#include "ui/interaction.h"

#include <functional>
#include <string>
#include <string_view>

namespace orv::compactor {

inline constexpr const char* kDataSourceName = "ORV";

// Exit statuses; scripts written for the system test them.
inline constexpr int kCompacted = 1;
inline constexpr int kNotConfigured = -1;
inline constexpr int kFailed = -2;

// The database file of the system data source, whole: its DBQ attribute, else the key
// the SQLite driver opens its file by (Database); "" when there is neither.
std::string databaseFile(std::string_view dataSource = kDataSourceName);

struct CompactResult {
    bool ok = false;
    std::string error; // SQLite's reason when not ok
};

// Compacts an existing SQLite database file in place (VACUUM, outside any transaction).
// A missing file is never created. A compaction that fails leaves the file as it was.
CompactResult compactFile(const std::string& file);

using Compact = std::function<CompactResult(const std::string&)>;

// The program on the file read from the data source: an empty path is reported without
// compacting anything; otherwise the file is compacted and the outcome reported.
// Returns the exit status.
int run(ui::Interaction& ui, const std::string& file, const Compact& compact = compactFile);

} // namespace orv::compactor
