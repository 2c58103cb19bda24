// The database connections the requests share: opened read-only when first needed, again
// after they failed, and replaced while a statement hangs on one.
#pragma once

#include "db/connection.h"

#include <chrono>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>

namespace orv::stationws {

// One database connection, opened when first needed and again after it failed.
struct Slot {
    std::unique_ptr<odbc::Connection> connection;
    // The kind `connection` is (or is opened as): streaming (the rows come as they are read,
    // so that a whole archive never sits in the driver's memory), or plain (a statement's
    // rows come at once: on PostgreSQL without a cursor's round trips), for the answers that
    // name a few stations exactly. The slot keeps the other kind, once opened, in `other`.
    bool streaming = true;
    std::unique_ptr<odbc::Connection> other;
    // Why the last opening failed, when the driver refused it.
    gainbook::OpenResult refusal;
    // Given up by its request while a statement hung on it: dropped when the statement ends.
    bool abandoned = false;
};

// A slot of the plain kind, for statements that read a row or two.
inline Slot plainSlot() {
    Slot slot;
    slot.streaming = false;
    return slot;
}

// Opens the slot's connection, read-only and, for the streaming kind, with the rows streamed
// where the driver can be told so, when it has none; false (the reason logged) when the database
// cannot be reached.
bool openSlot(const gainbook::ConnectionSettings& settings, Slot& slot);

// After a failed read: true when the slot's connection still works (the failure was the
// statement's); false when the database is gone, and then the connection is dropped, so
// that the next use connects anew.
bool keepIfAlive(Slot& slot);

// Runs a statement of a check on its own connection, bounded by a query timeout where the
// driver takes one, and fetches its first row: the fetch's return (SQL_NO_DATA for none),
// or the failure of the statement. SQLite's driver runs a statement at its first fetch, so
// a table dropped since the connection last looked shows there.
SQLRETURN firstRow(odbc::Statement& st, const char* sql, std::chrono::milliseconds bound);

class Pool {
public:
    Pool(gainbook::ConnectionSettings settings, std::size_t size, int waitSeconds);

    // A free slot, or null when none became free within the wait; at once when every slot
    // is held by a statement that hangs.
    std::unique_ptr<Slot> take(std::chrono::milliseconds wait);
    std::chrono::milliseconds wait() const { return std::chrono::seconds(waitSeconds_); }
    void give(std::unique_ptr<Slot> slot);
    // The request of a leased slot gives up while a statement hangs on it: a fresh slot takes
    // its place, while no more slots hang than the pool has.
    void abandon(Slot& slot);
    // The most slots there can be, hung ones included: one reading thread each.
    std::size_t capacity() const { return 2 * size_; }
    bool open(Slot& slot) const { return openSlot(settings_, slot); }

private:
    gainbook::ConnectionSettings settings_;
    int waitSeconds_;
    std::size_t size_;
    std::mutex mutex_;
    std::condition_variable freed_;
    std::deque<std::unique_ptr<Slot>> free_;
    std::size_t live_ = size_; // slots free or leased and not abandoned
    std::size_t hung_ = 0;     // abandoned slots whose statement has not ended
};

// Holds a slot for a request and gives it back when the request is done with it.
class Lease {
public:
    Lease(Pool& pool, std::unique_ptr<Slot> slot) : pool_(pool), slot_(std::move(slot)) {}
    ~Lease() {
        if (slot_)
            pool_.give(std::move(slot_));
    }
    Lease(const Lease&) = delete;
    Lease& operator=(const Lease&) = delete;
    Slot& slot() { return *slot_; }

private:
    Pool& pool_;
    std::unique_ptr<Slot> slot_;
};

} // namespace orv::stationws
