// What tells the service that the database has changed: a token the database keeps for
// itself, read on a connection of its own, one reading at a time, for the requests that ask.
// It changes with every committed change, whoever made it (the editors, the command line,
// SQL typed by hand), and never with a read:
// - SQLite: PRAGMA data_version, which moves when another connection commits;
// - PostgreSQL: the current snapshot (the transactions in progress and the next one),
//   which moves when a transaction that wrote begins or ends, on a primary and on a hot
//   standby as it replays;
// - MariaDB and MySQL: InnoDB's log sequence number, which moves with every write.
// A request asks for a reading begun after it came: what it is then answered reflects every
// change committed before it asked.
#pragma once

#include "pool.h"
#include "rounds.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>

namespace orv::stationws {

// What one reading of the token found.
struct Seen {
    // False when the token could not be read (no connection, a database that keeps none):
    // nothing can then be said of what changed.
    bool known = false;
    // Counts the changes seen: the same generation, the same data.
    std::uint64_t generation = 0;
    // When the reading that first saw this generation began.
    std::chrono::steady_clock::time_point since;
};

class ChangeWatch {
public:
    // bound: the most a reading of the token may take.
    ChangeWatch(gainbook::ConnectionSettings settings, std::chrono::milliseconds bound);
    ChangeWatch(const ChangeWatch&) = delete;
    ChangeWatch& operator=(const ChangeWatch&) = delete;

    std::chrono::milliseconds bound() const { return bound_; }
    std::uint64_t ask() { return rounds_.ask(); }
    // What the first reading begun after the ticket found, once it has ended; otherwise
    // nothing, and wake is called once when it ends.
    std::optional<Seen> answer(std::uint64_t ticket, std::function<void()> wake) {
        return rounds_.answer(ticket, std::move(wake));
    }
    void forget(std::uint64_t ticket) { rounds_.forget(ticket); }
    // What the last reading found.
    Seen last() const;

private:
    Seen look();
    // The token, or nothing when it cannot be read (the connection dropped when it has gone).
    std::optional<std::string> token();

    const gainbook::ConnectionSettings settings_;
    const std::chrono::milliseconds bound_;
    // The watching thread's: a plain connection, the one-row token read in one round trip.
    Slot slot_ = plainSlot();
    const char* statement_ = nullptr; // of the connection's database system
    std::string token_;               // the last one read on this connection
    mutable std::mutex mutex_;
    Seen last_;
    // Last: its thread ends before the members it uses.
    Rounds<Seen> rounds_{[this] { return look(); }};
};

} // namespace orv::stationws
