// Runs the built gainbook-cli as a separate process and collects what it printed.
#pragma once

#include "testdb.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <vector>

namespace orv::gainbook::test {

struct Outcome {
    int status = -1;
    std::string out;
    std::string err;
};

inline std::string slurp(const std::filesystem::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

inline std::string shellQuote(const std::string& arg) {
    std::string q = "'";
    for (char c : arg)
        q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

// Runs gainbook-cli with args; its output goes through files in dir.
inline Outcome runCli(const std::filesystem::path& dir, const std::vector<std::string>& args) {
    std::string cmd = shellQuote(GAINBOOK_CLI);
    for (const std::string& a : args)
        cmd.append(" ").append(shellQuote(a));
    cmd.append(" >").append(shellQuote((dir / "out").string()));
    cmd.append(" 2>").append(shellQuote((dir / "err").string()));
    const int rc = std::system(cmd.c_str());
    Outcome r;
    r.status = WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
    r.out = slurp(dir / "out");
    r.err = slurp(dir / "err");
    return r;
}

} // namespace orv::gainbook::test
