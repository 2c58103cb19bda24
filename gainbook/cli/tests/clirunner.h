// Runs the built gainbook-cli as a separate process through the tests' program runner
// (tests/support/program.h): no display, /dev/null as its input, its output collected.
#pragma once

#include "program.h"
#include "testdb.h"

#include <filesystem>
#include <string>
#include <vector>

namespace orv::gainbook::test {

using Outcome = orv::test::ProgramRun;
using orv::test::shellQuote;

inline std::string slurp(const std::filesystem::path& p) {
    return orv::test::readFile(p);
}

// Runs gainbook-cli with args and the test process's environment; its output goes through
// files in dir.
inline Outcome runCli(const std::filesystem::path& dir, const std::vector<std::string>& args) {
    return orv::test::runProgram(GAINBOOK_CLI, args, {}, dir);
}

} // namespace orv::gainbook::test
