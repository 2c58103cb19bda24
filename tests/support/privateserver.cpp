#include "privateserver.h"

#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <sys/wait.h>

namespace orv::test {

namespace {

struct Script {
    const char* file;
    const char* prefix;         // of the script's functions
    const char* dirVariable;    // names the server's directory
    const char* sharedLocation; // set by ./test when it runs the shared server
};

Script scriptOf(Backend backend) {
    if (backend == Backend::MariaDB)
        return {"throwaway-mariadb.sh", "mariadb", "MARIADB_THROWAWAY_DIR",
                "ORV_TEST_MARIADB_SOCKET"};
    return {"throwaway-postgres.sh", "pg", "PG_THROWAWAY_DIR", "ORV_TEST_PG_HOST"};
}

std::string shellWord(const std::string& text) {
    std::string q = "'";
    for (const char c : text)
        q.append(c == '\'' ? "'\\''" : std::string(1, c));
    q += '\'';
    return q;
}

} // namespace

PrivateServer::PrivateServer(Backend backend) : backend_(backend) {
    const Script s = scriptOf(backend);
    if (!std::getenv(s.sharedLocation)) {
        why_ = "no " + backendName(backend) + " test server (run the tests with ./test)";
        return;
    }
    // The start prints the server's directory and where its clients find it.
    const std::string start =
        backend == Backend::MariaDB
            ? "mariadb_throwaway_start >&2 && echo \"$MARIADB_THROWAWAY_DIR\" && echo "
              "\"$ORV_TEST_MARIADB_SOCKET\""
            : "pg_throwaway_start >&2 && echo \"$PG_THROWAWAY_DIR\" && echo \"$ORV_TEST_PG_PORT\"";
    std::string output;
    if (!script(start, &output)) {
        why_ = "cannot start a " + backendName(backend) + " server of the test's own";
        ADD_FAILURE() << why_;
        return;
    }
    std::istringstream lines(output);
    std::string location;
    std::getline(lines, dir_);
    std::getline(lines, location);
    if (backend == Backend::MariaDB) {
        environment_.push_back(
            std::make_unique<ScopedEnv>("ORV_TEST_MARIADB_SOCKET", location.c_str()));
        environment_.push_back(std::make_unique<ScopedEnv>("ORV_TEST_MARIADB_USER", "root"));
    } else {
        environment_.push_back(std::make_unique<ScopedEnv>("ORV_TEST_PG_HOST", dir_.c_str()));
        environment_.push_back(std::make_unique<ScopedEnv>("ORV_TEST_PG_PORT", location.c_str()));
        environment_.push_back(std::make_unique<ScopedEnv>("ORV_TEST_PG_USER", "postgres"));
    }
    available_ = true;
}

PrivateServer::~PrivateServer() {
    if (!dir_.empty())
        script(std::string(scriptOf(backend_).prefix) + "_throwaway_stop");
}

bool PrivateServer::halt() {
    return script(std::string(scriptOf(backend_).prefix) + "_throwaway_halt");
}

bool PrivateServer::resume() {
    return script(std::string(scriptOf(backend_).prefix) + "_throwaway_resume");
}

namespace {

// The server's process (PostgreSQL's postmaster, whose children are the sessions) as its
// directory names it, and a signal for it and its children.
std::string signalServer(Backend backend, const char* signal) {
    const std::string pid = backend == Backend::MariaDB
                                ? "pid=$(mariadb_throwaway_pid)"
                                : "pid=$(head -n 1 \"$PG_THROWAWAY_DIR/data/postmaster.pid\")";
    return pid + " && kill -" + signal + " $pid $(pgrep -P $pid)";
}

} // namespace

bool PrivateServer::freeze() {
    return script(signalServer(backend_, "STOP"));
}

bool PrivateServer::thaw() {
    return script(signalServer(backend_, "CONT"));
}

bool PrivateServer::script(const std::string& commands, std::string* output) const {
    const Script s = scriptOf(backend_);
    std::string shell = ". ";
    shell.append(shellWord(std::string(ORV_SCRIPTS_DIR) + "/" + s.file)).append(" && ");
    if (!dir_.empty())
        shell.append(s.dirVariable).append("=").append(shellWord(dir_)).append(" && ");
    shell += commands;
    const std::string command = std::string("bash -c ").append(shellWord(shell));
    FILE* pipe = ::popen(command.c_str(), "r");
    if (!pipe)
        return false;
    char buffer[512];
    while (std::fgets(buffer, sizeof buffer, pipe))
        if (output)
            *output += buffer;
    const int status = ::pclose(pipe);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

} // namespace orv::test
