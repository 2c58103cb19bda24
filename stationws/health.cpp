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
    : settings_(std::move(settings)), bound_(bound) {}

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
