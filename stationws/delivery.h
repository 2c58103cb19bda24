// How far a connection's answer has reached its client: what the client's side has
// acknowledged of all that was sent, and what the kernel still holds for it. A client is
// silent when it takes nothing while something waits for it, not when the service has
// written nothing for a while: the buffers between the two hold many megabytes, and a steady
// reader empties them for long stretches without the service writing.
#pragma once

#include <cstdint>
#include <optional>

namespace orv::stationws::http {

struct Delivery {
    std::uint64_t acknowledged = 0; // bytes the client's side has acknowledged, in all
    int queued = 0;                 // bytes written and not yet acknowledged
    // The client's side has taken all it has room for and not yet read it (its receive
    // window is closed). A client that reads slowly shows this for long stretches: its
    // system opens the window again only once a good part of its buffer is free (on
    // loopback, with buffers of megabytes, that is tens of seconds at 10 KB/s).
    bool windowClosed = false;
};

// Of a connected TCP socket; nothing when the system cannot tell.
std::optional<Delivery> deliveryOf(int fd);

} // namespace orv::stationws::http
