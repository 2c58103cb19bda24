#include "pool.h"

#include "db/schema.h"
#include "log.h"

#include <algorithm>

namespace orv::stationws {

bool openSlot(const gainbook::ConnectionSettings& settings, Slot& slot) {
    if (slot.connection && slot.connection->isOpen())
        return true;
    slot.connection.reset();
    gainbook::OpenResult opened = gainbook::openConnection(settings);
    if (!opened.connection) {
        log::failure("connection failed: " + opened.diagnostic);
        slot.refusal = std::move(opened);
        return false;
    }
    if (slot.streaming) {
        gainbook::StreamingConnection streaming =
            gainbook::openStreamingConnection(settings, std::move(opened.connection));
        if (streaming.fallback != gainbook::StreamingFallback::None)
            log::failure("rows are read whole, not streamed: " +
                         std::string(streaming.fallback == gainbook::StreamingFallback::Refused
                                         ? "the second connection failed: " + streaming.diagnostic
                                         : "the data source, user or password cannot go into a "
                                           "connect string"));
        opened.connection = std::move(streaming.connection);
    }
    if (const auto kind = gainbook::classifyDbmsName(opened.connection->dbmsName().value_or(""))) {
        if (*kind == gainbook::DbmsKind::PostgreSql) {
            odbc::Statement st(*opened.connection);
            st.execDirect("SET SESSION CHARACTERISTICS AS TRANSACTION READ ONLY");
        }
    }
    SQLSetConnectAttr(opened.connection->handle(), SQL_ATTR_ACCESS_MODE,
                      reinterpret_cast<SQLPOINTER>(SQL_MODE_READ_ONLY), 0);
    // The inventory's few statement texts are prepared once per connection, not per answer.
    opened.connection->keepPreparedStatements(true);
    slot.connection = std::move(opened.connection);
    return true;
}

SQLRETURN firstRow(odbc::Statement& st, const char* sql, std::chrono::milliseconds bound) {
    if (!st.valid())
        return SQL_ERROR;
    const auto seconds =
        std::max<long long>(1, std::chrono::duration_cast<std::chrono::seconds>(bound).count());
    SQLSetStmtAttr(st.handle(), SQL_ATTR_QUERY_TIMEOUT,
                   reinterpret_cast<SQLPOINTER>(static_cast<SQLULEN>(seconds)), 0);
    const SQLRETURN ran = st.execDirect(sql);
    return odbc::isSuccess(ran) ? st.fetch() : ran;
}

bool keepIfAlive(Slot& slot) {
    if (!slot.connection)
        return false;
    {
        // The statement ends before its connection may be dropped: freeing a statement of a
        // freed connection crashes the driver manager.
        odbc::Statement st(*slot.connection);
        if (st.valid() && odbc::isSuccess(st.execDirect("SELECT 1")) && odbc::isSuccess(st.fetch()))
            return true;
    }
    slot.connection.reset();
    return false;
}

Pool::Pool(gainbook::ConnectionSettings settings, std::size_t size, int waitSeconds)
    : settings_(std::move(settings)), waitSeconds_(waitSeconds), size_(size) {
    for (std::size_t i = 0; i < size; ++i)
        free_.push_back(std::make_unique<Slot>());
}

std::unique_ptr<Slot> Pool::take(std::chrono::milliseconds wait) {
    std::unique_lock lock(mutex_);
    freed_.wait_for(lock, wait, [&] { return !free_.empty() || live_ == 0; });
    if (free_.empty())
        return nullptr;
    std::unique_ptr<Slot> slot = std::move(free_.front());
    free_.pop_front();
    return slot;
}

void Pool::give(std::unique_ptr<Slot> slot) {
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

void Pool::abandon(Slot& slot) {
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

} // namespace orv::stationws
