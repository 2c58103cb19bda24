// The readiness check a load balancer asks: the response tables read on a connection of
// its own, one check at a time, never one of the requests' connections. A request asks for
// a check that begins after it came and waits for it within a bound, without a thread; a
// check that hangs (a server stopped) leaves the requests meanwhile their "no" at the bound.
#pragma once

#include "pool.h"

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <thread>

namespace orv::stationws {

class HealthCheck {
public:
    HealthCheck(gainbook::ConnectionSettings settings, std::chrono::milliseconds bound);
    ~HealthCheck();
    HealthCheck(const HealthCheck&) = delete;
    HealthCheck& operator=(const HealthCheck&) = delete;

    std::chrono::milliseconds bound() const { return bound_; }
    // Asks for a check; the ticket names it.
    std::uint64_t ask();
    // The ticket's answer once a check begun after it was asked has ended; otherwise nothing,
    // and wake is kept to be called once, from the checking thread, when it ends.
    std::optional<bool> answer(std::uint64_t ticket, std::function<void()> wake);
    // The ticket no longer waits.
    void forget(std::uint64_t ticket);

private:
    void loop();
    bool check();
    // One statement of the check, within the seconds given.
    bool read(const char* sql, long seconds);

    const gainbook::ConnectionSettings settings_;
    const std::chrono::milliseconds bound_;
    Slot slot_; // the checking thread's
    std::mutex mutex_;
    std::condition_variable asked_;
    std::uint64_t lastAsked_ = 0, lastCovered_ = 0;
    bool healthy_ = false, stopping_ = false, checking_ = false;
    std::map<std::uint64_t, std::function<void()>> waiting_;
    std::thread thread_;
};

} // namespace orv::stationws
