// Runs a built program as a child process in an environment of its own and collects its
// exit status and what it printed.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <utility>
#include <vector>

namespace orv::test {

struct ProgramRun {
    int status = -1; // the exit status as the shell sees it (0-255); -1 when killed
    std::string out;
    std::string err;
};

inline std::string readFile(const std::filesystem::path& p) {
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

// Runs program with args and the test process's environment, changed by env and without
// a display (so that a program with message boxes prints them instead). Its output goes
// through files in outputDir.
inline ProgramRun runProgram(const std::string& program, const std::vector<std::string>& args,
                             const std::vector<std::pair<std::string, std::string>>& env,
                             const std::filesystem::path& outputDir) {
    std::string cmd = "env -u DISPLAY -u WAYLAND_DISPLAY";
    for (const auto& [name, value] : env)
        cmd.append(" ").append(shellQuote(name + "=" + value));
    cmd.append(" ").append(shellQuote(program));
    for (const std::string& a : args)
        cmd.append(" ").append(shellQuote(a));
    const auto out = outputDir / "program.out";
    const auto err = outputDir / "program.err";
    cmd.append(" >").append(shellQuote(out.string()));
    cmd.append(" 2>").append(shellQuote(err.string()));
    cmd += " </dev/null";
    const int rc = std::system(cmd.c_str());
    ProgramRun r;
    r.status = WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
    r.out = readFile(out);
    r.err = readFile(err);
    return r;
}

} // namespace orv::test
