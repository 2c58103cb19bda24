// dsninstaller: registers the embedded database's driver and creates the system data
// source ORV. Takes no arguments but --help.
#include "dsninstaller.h"

#include "ini/inifile.h"
#include "ui/qtinteraction.h"

#include <iostream>
#include <string>

namespace {

// Each step is a paragraph of its own, so that the manual page made from this text
// (help2man) keeps them apart.
void printHelp(std::ostream& out) {
    std::string files;
    for (const auto& file : orv::dsninstaller::settingsFiles())
        files += (files.empty() ? "" : ", then ") + file.string();
    out << "usage: dsninstaller [--help]\n"
           "\n"
           "Prepares this machine for the ORV programs in one run. The database directory is\n"
           "[DATABASE] DIR of the first of these settings files that names one: "
        << files
        << "\n(the machine's folder is $ORV_MACHINE_SETTINGS_DIR when set). Enclosing quotes\n"
           "are removed; DIR must be an absolute path (from /). Then, in order, it:\n"
           "\n"
           "1. asks the ODBC driver manager (unixODBC) where it keeps its files;\n"
           "\n"
           "2. registers the SQLite 3 ODBC driver " ORV_SQLITE_ODBC_DRIVER " under\n"
           "the name ACCESS in odbcinst.ini there;\n"
           "\n"
           "3, 4. registers no code page translator: the drivers read and write UTF-8;\n"
           "\n"
           "5. creates the system data source ORV (user ORV, password KTZ) in odbc.ini\n"
           "there, on the file ORV.db in the database directory;\n"
           "\n"
           "and creates that database file, empty, when it is missing. Where the group orv\n"
           "exists (the package makes it), a directory made here belongs to it, setgid,\n"
           "mode 2775, and the file is mode 664, group orv: the group's members write the\n"
           "database, everyone else reads it.\n"
           "\n"
           "Where no file names DIR, or DIR is not an absolute path, nothing is created or\n"
           "registered and the exit status is 1. A run in which every step succeeded prints\n"
           "the driver, the data source and the database file it registered.\n"
           "\n"
           "The driver manager's files are in $ODBCSYSINI, else in /etc (odbcinst -j tells);\n"
           "writing there needs root. A step that is done already is left as it is, so a\n"
           "second run changes nothing. A failing step is reported and the run goes on.\n"
           "Messages appear in a message box when a display is available, else on standard\n"
           "error.\n"
           "\n"
           "Exit status: 0 when every step succeeded, 1 when one or more failed, 2 for a\n"
           "wrong argument.\n";
}

} // namespace

int main(int argc, char* argv[]) {
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            printHelp(std::cout);
            return 0;
        }
        std::cerr << "dsninstaller: unknown argument " << arg << " (dsninstaller --help)\n";
        return 2;
    }
    return orv::ui::runWithMessages(argc, argv, "dsninstaller", "", [](orv::ui::Interaction& ui) {
        return orv::dsninstaller::install(ui, std::cout, orv::dsninstaller::settingsFiles(),
                                          ORV_SQLITE_ODBC_DRIVER);
    });
}
