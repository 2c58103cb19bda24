// The HTTP front's listening socket: bound on the first of the host's addresses that takes
// the port; a port that another process listens on is refused, never shared.
#pragma once

#include <optional>
#include <string>

namespace orv::stationws::http {

struct Listening {
    int socket = -1; // listening, non-blocking, closed on exec
    int port = 0;    // the port bound: the one asked, or the one the system chose for 0
};

// A socket listening on host:port, else nothing after saying why on standard error.
std::optional<Listening> listenOn(const std::string& host, int port);

} // namespace orv::stationws::http
