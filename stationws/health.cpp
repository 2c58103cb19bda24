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
    for (const char* sql : kHealthReads)
        if (!read(sql)) {
            // A connection whose server went away is dropped (its statement ended first):
            // the next check connects anew.
            keepIfAlive(slot_);
            return false;
        }
    return true;
}

bool HealthCheck::read(const char* sql) {
    odbc::Statement st(*slot_.connection);
    const SQLRETURN fetched = firstRow(st, sql, bound_);
    return odbc::isSuccess(fetched) || fetched == SQL_NO_DATA;
}

} // namespace orv::stationws
