// A PostgreSQL or MariaDB server of a test's own, for the tests of a server that goes away
// in the middle of a write: started by the throwaway scripts that ./test uses, in a
// directory of its own, and stopped and started again while clients are connected to it.
// While it lives, the TestDatabase objects of its back end are made on it (declare it
// before them). Like the shared servers, it is there only under ./test.
#pragma once

#include "testdb.h"

#include <memory>
#include <string>
#include <vector>

namespace orv::test {

class PrivateServer {
public:
    explicit PrivateServer(Backend backend); // PostgreSQL or MariaDB
    ~PrivateServer();
    PrivateServer(const PrivateServer&) = delete;
    PrivateServer& operator=(const PrivateServer&) = delete;

    bool available() const { return available_; }
    const std::string& whyUnavailable() const { return why_; }

    // Stops the server: its sessions end and their open transactions roll back.
    bool halt();
    // Starts it again on the same data, socket and port.
    bool resume();
    // Stops the server's processes where they are (SIGSTOP), as a server that hangs: its
    // sockets stay open and accept, and nothing answers; thaw() lets them go on (SIGCONT).
    bool freeze();
    bool thaw();

private:
    // Runs the commands in a shell that has sourced the back end's script and knows this
    // server's directory; true when they succeed. What they print goes to output.
    bool script(const std::string& commands, std::string* output = nullptr) const;

    Backend backend_;
    bool available_ = false;
    std::string why_;
    std::string dir_;
    std::vector<std::unique_ptr<ScopedEnv>> environment_;
};

} // namespace orv::test
