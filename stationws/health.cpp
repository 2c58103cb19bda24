#include "health.h"

#include <vector>

namespace orv::stationws {

namespace {

// Each response table, read for no rows: it fails when the table is missing.
constexpr const char* kHealthReads[] = {
    "SELECT 1 FROM CALIBRATION WHERE 1 = 0",
    "SELECT 1 FROM ID_SENS WHERE 1 = 0",
    "SELECT 1 FROM ID_FREQ WHERE 1 = 0",
};

} // namespace

HealthCheck::HealthCheck(gainbook::ConnectionSettings settings, std::chrono::milliseconds bound)
    : settings_(std::move(settings)), bound_(bound), thread_([this] { loop(); }) {}

HealthCheck::~HealthCheck() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    asked_.notify_all();
    // A check that hangs on its statement is left to end with the program.
    std::unique_lock lock(mutex_);
    if (asked_.wait_for(lock, std::chrono::seconds(1), [&] { return !checking_; })) {
        lock.unlock();
        thread_.join();
    } else {
        lock.unlock();
        thread_.detach();
    }
}

std::uint64_t HealthCheck::ask() {
    std::uint64_t ticket = 0;
    {
        std::lock_guard lock(mutex_);
        ticket = ++lastAsked_;
    }
    asked_.notify_one();
    return ticket;
}

std::optional<bool> HealthCheck::answer(std::uint64_t ticket, std::function<void()> wake) {
    std::lock_guard lock(mutex_);
    if (lastCovered_ >= ticket)
        return healthy_;
    waiting_[ticket] = std::move(wake);
    return std::nullopt;
}

void HealthCheck::forget(std::uint64_t ticket) {
    std::lock_guard lock(mutex_);
    waiting_.erase(ticket);
}

void HealthCheck::loop() {
    std::unique_lock lock(mutex_);
    for (;;) {
        asked_.wait(lock, [&] { return stopping_ || lastAsked_ > lastCovered_; });
        if (stopping_)
            return;
        const std::uint64_t covers = lastAsked_;
        checking_ = true;
        lock.unlock();
        const bool healthy = check();
        lock.lock();
        checking_ = false;
        asked_.notify_all();
        if (stopping_)
            return;
        healthy_ = healthy;
        lastCovered_ = covers;
        std::vector<std::function<void()>> wakes;
        for (auto at = waiting_.begin(); at != waiting_.end() && at->first <= covers;)
            wakes.push_back(std::move(at->second)), at = waiting_.erase(at);
        lock.unlock();
        for (auto& wake : wakes)
            wake();
        lock.lock();
    }
}

bool HealthCheck::check() {
    if (!openSlot(settings_, slot_))
        return false;
    const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(bound_).count();
    for (const char* sql : kHealthReads)
        if (!read(sql, seconds)) {
            // A connection whose server went away is dropped (its statement ended first):
            // the next check connects anew.
            keepIfAlive(slot_);
            return false;
        }
    return true;
}

bool HealthCheck::read(const char* sql, long seconds) {
    odbc::Statement st(*slot_.connection);
    if (st.valid())
        SQLSetStmtAttr(
            st.handle(), SQL_ATTR_QUERY_TIMEOUT,
            reinterpret_cast<SQLPOINTER>(static_cast<SQLULEN>(std::max<long>(1, seconds))), 0);
    // SQLite's driver runs a statement at its first fetch: a table dropped since the
    // connection last looked shows there.
    const auto ran = [&] {
        if (!odbc::isSuccess(st.execDirect(sql)))
            return false;
        const SQLRETURN fetched = st.fetch();
        return odbc::isSuccess(fetched) || fetched == SQL_NO_DATA;
    };
    return st.valid() && ran();
}

} // namespace orv::stationws
