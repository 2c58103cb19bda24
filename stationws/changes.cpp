#include "changes.h"

#include "db/schema.h"

namespace orv::stationws {

namespace {

// The change token of each database system that keeps one.
constexpr const char* kSqliteToken = "PRAGMA data_version";
constexpr const char* kPostgresToken = "SELECT txid_current_snapshot()::text";
constexpr const char* kMysqlToken = "SELECT VARIABLE_VALUE FROM information_schema.GLOBAL_STATUS "
                                    "WHERE VARIABLE_NAME = 'INNODB_LSN_CURRENT'";

const char* tokenStatement(odbc::Connection& connection) {
    switch (gainbook::classifyDbmsName(connection.dbmsName().value_or(""))
                .value_or(gainbook::DbmsKind::Access)) {
    case gainbook::DbmsKind::SQLite:
        return kSqliteToken;
    case gainbook::DbmsKind::PostgreSql:
        return kPostgresToken;
    case gainbook::DbmsKind::MySql:
        return kMysqlToken;
    default:
        return nullptr;
    }
}

} // namespace

ChangeWatch::ChangeWatch(gainbook::ConnectionSettings settings, std::chrono::milliseconds bound)
    : settings_(std::move(settings)), bound_(bound) {}

Seen ChangeWatch::last() const {
    std::lock_guard lock(mutex_);
    return last_;
}

std::optional<std::string> ChangeWatch::token() {
    if (!slot_.connection) {
        if (!openSlot(settings_, slot_))
            return std::nullopt;
        statement_ = tokenStatement(*slot_.connection);
    }
    if (!statement_)
        return std::nullopt;
    std::optional<std::string> value;
    {
        odbc::Statement st(*slot_.connection);
        if (odbc::isSuccess(firstRow(st, statement_, bound_)))
            value = st.getText(1);
    }
    if (!value)
        keepIfAlive(slot_);
    return value;
}

Seen ChangeWatch::look() {
    const auto began = std::chrono::steady_clock::now();
    const bool fresh = !slot_.connection;
    const std::optional<std::string> now = token();
    std::lock_guard lock(mutex_);
    if (!now) {
        last_.known = false;
        return last_;
    }
    // A new connection's token says nothing of the old one's: taken as a change.
    if (fresh || !last_.known || *now != token_) {
        ++last_.generation;
        last_.since = began;
    }
    token_ = *now;
    last_.known = true;
    return last_;
}

} // namespace orv::stationws
