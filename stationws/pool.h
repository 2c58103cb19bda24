// The database connections the requests share: opened read-only when first needed, again
// after they failed, and replaced while a statement hangs on one.
#pragma once

#include "connection.h"
#include "log.h"
#include "schema.h"

#include <chrono>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>

namespace orv::stationws {

// One database connection of the pool, opened when first needed and again after it failed.
struct Slot {
    std::unique_ptr<odbc::Connection> connection;
    // Why the last opening failed, when the driver refused it.
    gainbook::OpenResult refusal;
    // Given up by its request while a statement hung on it: dropped when the statement ends.
    bool abandoned = false;
};

class Pool {
public:
    Pool(gainbook::ConnectionSettings settings, std::size_t size, int waitSeconds)
        : settings_(std::move(settings)), waitSeconds_(waitSeconds), size_(size) {
        for (std::size_t i = 0; i < size; ++i)
            free_.push_back(std::make_unique<Slot>());
    }

    // A free slot, or null when none became free within the wait; at once when every slot
    // is held by a statement that hangs.
    std::unique_ptr<Slot> take(std::chrono::milliseconds wait) {
        std::unique_lock lock(mutex_);
        freed_.wait_for(lock, wait, [&] { return !free_.empty() || live_ == 0; });
        if (free_.empty())
            return nullptr;
        std::unique_ptr<Slot> slot = std::move(free_.front());
        free_.pop_front();
        return slot;
    }
    std::unique_ptr<Slot> take() { return take(std::chrono::seconds(waitSeconds_)); }
    void give(std::unique_ptr<Slot> slot) {
        {
            std::lock_guard lock(mutex_);
            if (slot->abandoned) {
                // Its statement has ended; its connection is not trusted again.
                --hung_;
                if (live_ == size_)
                    return;
                slot = std::make_unique<Slot>();
                ++live_;
            }
            free_.push_back(std::move(slot));
        }
        freed_.notify_one();
    }
    // The request of a leased slot gives up while a statement hangs on it: a fresh slot takes
    // its place, while no more slots hang than the pool has.
    void abandon(Slot& slot) {
        {
            std::lock_guard lock(mutex_);
            if (slot.abandoned)
                return;
            slot.abandoned = true;
            ++hung_;
            --live_;
            if (hung_ <= size_) {
                free_.push_back(std::make_unique<Slot>());
                ++live_;
            }
        }
        freed_.notify_all();
    }
    // The most slots there can be, hung ones included: one reading thread each.
    std::size_t capacity() const { return 2 * size_; }

    // Opens the slot's connection when it has none; false (the reason logged) when the
    // database cannot be reached.
    bool open(Slot& slot) {
        if (slot.connection && slot.connection->isOpen())
            return true;
        slot.connection.reset();
        gainbook::OpenResult opened = gainbook::openConnection(settings_);
        if (!opened.connection) {
            log::failure("connection failed: " + opened.diagnostic);
            slot.refusal = std::move(opened);
            return false;
        }
        // Rows come as they are fetched where the driver can be told so.
        gainbook::StreamingConnection streaming =
            gainbook::openStreamingConnection(settings_, std::move(opened.connection));
        if (streaming.fallback != gainbook::StreamingFallback::None)
            log::failure("rows are read whole, not streamed: " +
                         std::string(streaming.fallback == gainbook::StreamingFallback::Refused
                                         ? "the second connection failed: " + streaming.diagnostic
                                         : "the data source, user or password cannot go into a "
                                           "connect string"));
        opened.connection = std::move(streaming.connection);
        if (const auto kind =
                gainbook::classifyDbmsName(opened.connection->dbmsName().value_or(""))) {
            if (*kind == gainbook::DbmsKind::PostgreSql) {
                odbc::Statement st(*opened.connection);
                st.execDirect("SET SESSION CHARACTERISTICS AS TRANSACTION READ ONLY");
            }
        }
        SQLSetConnectAttr(opened.connection->handle(), SQL_ATTR_ACCESS_MODE,
                          reinterpret_cast<SQLPOINTER>(SQL_MODE_READ_ONLY), 0);
        slot.connection = std::move(opened.connection);
        return true;
    }

    // After a failed read: true when the connection still works (the failure was the
    // statement's); false, the connection dropped, when the database is gone.
    static bool stillAlive(Slot& slot) {
        if (!slot.connection)
            return false;
        odbc::Statement st(*slot.connection);
        if (st.valid() && odbc::isSuccess(st.execDirect("SELECT 1")) && odbc::isSuccess(st.fetch()))
            return true;
        slot.connection.reset();
        return false;
    }

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
