// gainbook-cli: the response editor's computations for scripts and batch work.
//
//   gainbook-cli COMMAND [ARGUMENTS]     gainbook-cli COMMAND --help
#include "cli/command.h"

#include <algorithm>
#include <iostream>
#include <string>
#include <vector>

namespace {

using orv::gainbook::cli::Command;

// Every command group adds its table here.
std::vector<Command> allCommands() {
    std::vector<Command> all;
    for (const Command& c : orv::gainbook::cli::fileCommands())
        all.push_back(c);
    for (const Command& c : orv::gainbook::cli::databaseCommands())
        all.push_back(c);
    for (const Command& c : orv::gainbook::cli::copyCommands())
        all.push_back(c);
    for (const Command& c : orv::gainbook::cli::checkCommands())
        all.push_back(c);
    return all;
}

void printOverview(std::ostream& out, const std::vector<Command>& commands) {
    out << "Использование: gainbook-cli КОМАНДА [ПАРАМЕТРЫ]\n\nКоманды:\n";
    // The summaries in one column, two blanks after the longest name.
    std::size_t width = 0;
    for (const Command& c : commands)
        width = std::max(width, std::string(c.name).size());
    for (const Command& c : commands)
        out << "  " << c.name << std::string(width + 2 - std::string(c.name).size(), ' ')
            << c.summary << "\n";
    out << "\ngainbook-cli КОМАНДА --help печатает параметры команды.\n";
}

} // namespace

int main(int argc, char** argv) {
    const std::vector<Command> commands = allCommands();
    if (argc < 2) {
        printOverview(std::cerr, commands);
        return orv::gainbook::cli::kUsageError;
    }
    const std::string name = argv[1];
    if (name == "--help" || name == "-h" || name == "help") {
        printOverview(std::cout, commands);
        return orv::gainbook::cli::kOk;
    }
    for (const Command& c : commands) {
        if (name == c.name) {
            const std::vector<std::string> args(argv + 2, argv + argc);
            return c.run(args, std::cout, std::cerr);
        }
    }
    std::cerr << "gainbook-cli: неизвестная команда " << name << "\n\n";
    printOverview(std::cerr, commands);
    return orv::gainbook::cli::kUsageError;
}
