// The readiness check a load balancer asks: the response tables read on a connection of
// its own, one check at a time, never one of the requests' connections. A request asks for
// a check that begins after it came and waits for it within a bound, without a thread; a
// check that hangs (a server stopped) leaves the requests meanwhile their "no" at the bound.
#pragma once

#include "pool.h"
#include "rounds.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>

namespace orv::stationws {

class HealthCheck {
public:
    HealthCheck(gainbook::ConnectionSettings settings, std::chrono::milliseconds bound);
    HealthCheck(const HealthCheck&) = delete;
    HealthCheck& operator=(const HealthCheck&) = delete;

    std::chrono::milliseconds bound() const { return bound_; }
    // Asks for a check; the ticket names it.
    std::uint64_t ask() { return rounds_.ask(); }
    // The ticket's answer once a check begun after it was asked has ended; otherwise nothing,
    // and wake is kept to be called once, from the checking thread, when it ends.
    std::optional<bool> answer(std::uint64_t ticket, std::function<void()> wake) {
        return rounds_.answer(ticket, std::move(wake));
    }
    // The ticket no longer waits.
    void forget(std::uint64_t ticket) { rounds_.forget(ticket); }

private:
    bool check();
    // One statement of the check, within the bound.
    bool read(const char* sql);

    const gainbook::ConnectionSettings settings_;
    const std::chrono::milliseconds bound_;
    Slot slot_ = plainSlot(); // the checking thread's
    // Last: its thread ends before the members it uses.
    Rounds<bool> rounds_{[this] { return check(); }};
};

} // namespace orv::stationws
