// Whether the two sides of a copy are one database under two names.
#pragma once

#include "db/copycolumns.h"

#include <optional>
#include <string>

namespace orv::gainbook::copy {

// What source and target both are when they are one database however they are named (one
// SQLite file by device and inode; one database of one server), else nullopt. A copy onto
// itself would wait for its own locks, or empty the tables before reading them.
std::optional<std::string> oneDatabase(const Side& source, const Side& target);

} // namespace orv::gainbook::copy
