// compactor: compacts the database file of the system data source ORV. Takes no
// arguments but --help.
#include "compactor.h"

#include "ui/qtinteraction.h"

#include <iostream>
#include <string>

namespace {

void printHelp(std::ostream& out) {
    out << "usage: compactor [--help]\n"
           "\n"
           "Compacts the SQLite database file of the system data source ORV in place\n"
           "(SQLite's VACUUM: the file shrinks to what its rows need, every row is kept).\n"
           "The file is the data source's DBQ attribute, else its Database attribute, in\n"
           "odbc.ini of the driver manager's system directory ($ODBCSYSINI, else /etc).\n"
           "A compaction that fails leaves the file as it was.\n"
           "\n"
           "The outcome appears in a message box when a display is available, else on\n"
           "standard error.\n"
           "\n"
           "Exit status:\n"
           "   1  the database was compacted (\"ORV Database compacted\");\n"
           "  -1  (255 in the shell) the data source ORV or its file is not configured;\n"
           "  -2  (254 in the shell) the file could not be compacted: missing, not a\n"
           "      database, or locked by a program that is writing to it;\n"
           "   2  a wrong argument.\n";
}

} // namespace

int main(int argc, char* argv[]) {
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            printHelp(std::cout);
            return 0;
        }
        std::cerr << "compactor: unknown argument " << arg << " (compactor --help)\n";
        return 2;
    }
    return orv::ui::runWithMessages(argc, argv, "compactor", "ORV", [](orv::ui::Interaction& ui) {
        return orv::compactor::run(ui, orv::compactor::databaseFile());
    });
}
