// The subcommands of gainbook-cli. Each group of commands lives in its own file and
// hands its table to main.cpp; a command gets the arguments after its name.
#pragma once

#include <iosfwd>
#include <span>
#include <string>
#include <vector>

namespace orv::gainbook::cli {

// Exit statuses.
inline constexpr int kOk = 0;
inline constexpr int kFailed = 1;     // the work could not be done (file, format, ...)
inline constexpr int kUsageError = 2; // the command line is wrong
// Written, but the database's synchronous standby did not confirm every write in time.
inline constexpr int kUnconfirmed = 3;

struct Command {
    const char* name;
    const char* summary; // one line for the list of commands
    const char* usage;   // the full help text
    int (*run)(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);
};

// Commands on response files (no database).
std::span<const Command> fileCommands();
// Commands on the response database (list, write, export, import, stationxml).
std::span<const Command> databaseCommands();
// Each of them, from its own file.
Command listCommand();
Command writeCommand();
Command exportCommand();
Command importCommand();
Command stationXmlCommand();
// Moving an archive between databases (copy).
std::span<const Command> copyCommands();
// Checking the archive against the station-metadata rules (check).
std::span<const Command> checkCommands();

} // namespace orv::gainbook::cli
