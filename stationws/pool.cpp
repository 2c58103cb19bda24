#include "pool.h"

#include "schema.h"
#include "text/text.h"

#include <algorithm>
#include <ctime>
#include <iostream>

namespace orv::stationws {

std::string utcNow() {
    const std::time_t now = std::time(nullptr);
    std::tm tm{};
    gmtime_r(&now, &tm);
    return orv::text::format("%04d-%02d-%02dT%02d:%02d:%02dZ", tm.tm_year + 1900, tm.tm_mon + 1,
                             tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec);
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

bool Pool::open(Slot& slot) {
    if (slot.connection && slot.connection->isOpen())
        return true;
    slot.connection.reset();
    gainbook::OpenResult opened = gainbook::openConnection(settings_);
    if (!opened.connection) {
        logFailure("connection failed: " + opened.diagnostic);
        slot.refusal = std::move(opened);
        return false;
    }
    // Rows come as they are fetched where the driver can be told so.
    gainbook::StreamingConnection streaming =
        gainbook::openStreamingConnection(settings_, std::move(opened.connection));
    if (streaming.fallback != gainbook::StreamingFallback::None)
        logFailure("rows are read whole, not streamed: " +
                   std::string(streaming.fallback == gainbook::StreamingFallback::Refused
                                   ? "the second connection failed: " + streaming.diagnostic
                                   : "the data source, user or password cannot go into a "
                                     "connect string"));
    opened.connection = std::move(streaming.connection);
    if (const auto kind = gainbook::classifyDbmsName(opened.connection->dbmsName().value_or(""))) {
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

bool Pool::stillAlive(Slot& slot) {
    if (!slot.connection)
        return false;
    odbc::Statement st(*slot.connection);
    if (st.valid() && odbc::isSuccess(st.execDirect("SELECT 1")) && odbc::isSuccess(st.fetch()))
        return true;
    slot.connection.reset();
    return false;
}

void Pool::logFailure(const std::string& message) {
    std::string line = "stationws: " + utcNow() + " " + message;
    // A driver's message may repeat its connection string: never the password.
    for (const char* key : {"PWD=", "pwd=", "Pwd=", "PASSWORD=", "password="})
        for (std::size_t at = line.find(key); at != std::string::npos;
             at = line.find(key, at + 1)) {
            const std::size_t end = std::min(line.size(), line.find(';', at));
            line.replace(at, end - at, std::string(key) + "***");
        }
    std::cerr << line + "\n" << std::flush;
}

} // namespace orv::stationws
