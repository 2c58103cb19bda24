// Commands on the response database: list, write, export, import, stationxml, each in its own
// file. Each connects as the response editor does (options, else Gainbook.ini in the current
// directory, else the shared ORV.ini), then runs the editor's schema check on the connection
// (connection_options.h). Questions the windows would ask are answered Yes with --yes and No
// otherwise; every box they would show goes to stderr.
#include "cli/command.h"

namespace orv::gainbook::cli {

std::span<const Command> databaseCommands() {
    // Made at the first call: the usage texts of the other files are made by then.
    static const Command commands[] = {
        listCommand(), writeCommand(), exportCommand(), importCommand(), stationXmlCommand(),
    };
    return commands;
}

} // namespace orv::gainbook::cli
